// The slides kept across runs: read back exactly, never of another content
// or another file, damaged entries dropped, private and bounded.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/pictures/SlideDiskEntry.h"
#include "app/pictures/SlideDiskStore.h"
#include "app/pictures/SlideSupply.h"
#include "lib/Tesk_Thumbnails.h"
#include "toolkit/DecodeStretched.h"
#include "support/JpegMaker.h"
#include "support/ScopedEnv.h"
#include "support/Unprivileged.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "tools/TempDir.h"

using namespace jpegmaker;
namespace fs = std::filesystem;

namespace {

Bytes Photo(Colour colours, int width, int height, int seed = 0);

// Two pictures in files of the same size.
std::pair<Bytes, Bytes> TwoOfASize(int width, int height) {
  const Bytes a = Photo(Colour::Rgb, width, height, 0), b = Photo(Colour::Rgb, width, height, 90);
  const std::size_t size = std::max(a.size(), b.size()) + 64;
  return {PadWithComments(a, size), PadWithComments(b, size)};
}

Bytes Photo(Colour colours, int width, int height, int seed) {
  return MakeJpeg({.Width = width, .Height = height, .Colours = colours}, [seed](int x, int y) {
    return Sample{std::uint8_t(x * 3 + seed), std::uint8_t(y * 7), std::uint8_t(x ^ y), 0};
  });
}

// The slide as the grid's rule makes it, for the screen as it is.
TSlideRef SlideOf(const std::string& file, TSlideLook look) {
  const std::unique_ptr<TGraphic> picture = TPicture::LoadGraphic(file);
  picture->ScreenBitsPerPixel = Screen.BitsPerPixel;
  const TSlidePictureSize size = SlidePictureSize(picture->Width(), picture->Height(), look.Size);
  return DecodeStretched(*picture, size.Width, size.Height, look.AntiAlias ? HALFTONE : COLORONCOLOR);
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat != b.PixelFormat) return false;
  for (int y = 0; y < a.Height(); ++y) {
    if (!std::equal(a.ScanLine(y), a.ScanLine(y) + a.Width(), b.ScanLine(y))) return false;
  }
  return true;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::uint64_t FolderBytes(const std::string& folder) {
  std::uint64_t bytes = 0;
  for (const auto& e : fs::directory_iterator(folder)) bytes += e.file_size();
  return bytes;
}

class SlideDiskStoreTest : public testing::Test {
 protected:
  TDiskSlideKey KeyOf(const std::string& file, TSlideLook look = {120, false}) {
    return DiskSlideKey({*FileIdentity(file), look}, file, Screen.BitsPerPixel);
  }
  // What one paint of the file by a new program (nothing in memory) shows,
  // counting the loads of its files.
  TSlideRef PaintInNewProgram(const std::string& file, TSlideLook look = {120, false}) {
    TSlideSupply supply(2, DefaultSlideStoreBytes(), [this](const std::string& f) {
      ++Loads;
      std::unique_ptr<TGraphic> read = TPicture::LoadGraphic(f);
      if (RewriteAfterRead.exchange(false)) WriteFile(f, RewriteWith);
      return read;
    });
    supply.StartSlides({file}, look);
    // Made by a worker, as the disk is left to them, wherever the machine
    // would let the waiting thread run it.
    while (!supply.Idle()) std::this_thread::yield();
    TSlideRef slide = supply.TakeSlide(file);
    supply.DropUntakenSlides();
    return slide;
  }

  TempDir Dir;
  TempDir Cache;
  ScopedEnv CacheHome{"XDG_CACHE_HOME", Cache.Path().c_str()};
  std::string Folder = Cache / "glimmet";
  std::atomic<int> Loads{0};
  std::atomic<bool> RewriteAfterRead{false};  // once, before the decode
  Bytes RewriteWith;
};

}  // namespace

TEST_F(SlideDiskStoreTest, ReadBackEqualsTheSlideMadeInEveryModeAndOnEveryScreen) {
  struct Row {
    Colour Colours;
    bool AntiAlias;
    int ScreenBits;
  } rows[] = {{Colour::Rgb, false, 32}, {Colour::Rgb, true, 32}, {Colour::Grey, true, 32}, {Colour::Rgb, false, 8}};
  const std::string file = Dir / "p.jpg";
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << int(row.Colours) << " " << row.AntiAlias << " " << row.ScreenBits);
    const int bits = Screen.BitsPerPixel;
    Screen.BitsPerPixel = row.ScreenBits;
    WriteFile(file, Photo(row.Colours, 333, 250, row.ScreenBits));
    const TSlideLook look{120, row.AntiAlias};
    const TSlideRef made = SlideOf(file, look);
    TSlideDiskStore(Folder, 1 << 20).Add(KeyOf(file, look), *made);
    const TSlideRef read = TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file, look));
    ASSERT_TRUE(read);
    EXPECT_TRUE(SamePixels(*read, *made));
    // Another screen depth or stretch mode is another slide.
    Screen.BitsPerPixel = row.ScreenBits == 8 ? 32 : 8;
    EXPECT_FALSE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file, look)));
    Screen.BitsPerPixel = bits;
    EXPECT_FALSE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file, {120, !row.AntiAlias})));
  }
}

TEST_F(SlideDiskStoreTest, EachDamagedEntryIsIgnoredAndRemoved) {
  const std::string file = Dir / "p.jpg", other = Dir / "q.jpg";
  WriteFile(file, Photo(Colour::Rgb, 200, 150));
  WriteFile(other, Photo(Colour::Rgb, 200, 150));
  const TSlideRef made = SlideOf(file, {120, false});
  TSlideDiskStore(Folder, 1 << 20).Add(KeyOf(file), *made);
  TSlideDiskStore(Folder, 1 << 20).Add(KeyOf(other), *SlideOf(other, {120, false}));
  const std::string entry = Folder + "/" + DiskSlideEntryName(KeyOf(file));
  const Bytes whole = ReadFile(entry);
  const TDiskSlideLayout at = DiskSlideLayout(whole);
  Bytes wrongVersion = whole;
  wrongVersion[at.Version] ^= 1;
  const struct {
    const char* Kind;
    Bytes Entry;
  } rows[] = {
      {"truncated", Truncate(whole, whole.size() - 1)},
      {"a flipped byte in the pixels", XorBytes(whole, at.Pixels + 5, 1, 0x10)},
      {"a flipped byte in the key", XorBytes(whole, at.Key + 3, 1, 0x01)},
      {"a flipped byte in the checksum", XorBytes(whole, at.Checksum, 1, 0x80)},
      {"a wrong version", wrongVersion},
      {"the entry of another file", ReadFile(Folder + "/" + DiskSlideEntryName(KeyOf(other)))},
      {"empty", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Kind);
    WriteFile(entry, row.Entry);
    EXPECT_FALSE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file)));
    EXPECT_FALSE(fs::exists(entry));
    // The program shows the file's own slide instead, and keeps it anew.
    WriteFile(entry, row.Entry);
    EXPECT_TRUE(SamePixels(*PaintInNewProgram(file), *made));
    EXPECT_EQ(ReadFile(entry), whole);
  }
  // Whole, it is read back.
  EXPECT_TRUE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file)));
}

TEST_F(SlideDiskStoreTest, ASlideIsKeptOnlyOfAFileThatStaysTheSameAndHasBeenQuiet) {
  const std::string file = Dir / "p.jpg";
  const auto [first, second] = TwoOfASize(300, 200);
  ASSERT_EQ(first.size(), second.size());
  // Rewritten in place, same size, while its picture decodes: shown, not kept.
  WriteFile(file, first);
  RewriteWith = second;
  RewriteAfterRead = true;
  const TSlideRef during = PaintInNewProgram(file);
  EXPECT_FALSE(SamePixels(*during, *SlideOf(file, {120, false})));
  EXPECT_EQ(FolderNames(Folder), std::vector<std::string>{});
  EXPECT_TRUE(SamePixels(*PaintInNewProgram(file), *SlideOf(file, {120, false})));

  // Rewritten twice within one tick, the times set back equal: the first
  // content is never kept, as its file had changed under 2 s before.
  SetQuietNs(DefaultQuietNs);
  fs::remove_all(Folder);
  WriteFile(file, first);
  const TSlideRef ofFirst = PaintInNewProgram(file);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  WriteFile(file, second);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const TSlideRef ofSecond = PaintInNewProgram(file);
  SetQuietNs(0);
  EXPECT_FALSE(SamePixels(*ofFirst, *ofSecond));
  EXPECT_TRUE(SamePixels(*ofSecond, *SlideOf(file, {120, false})));
  EXPECT_EQ(FolderNames(Folder), std::vector<std::string>{});
}

TEST_F(SlideDiskStoreTest, AFileTouchedRewrittenReplacedOrMovedMakesANewSlide) {
  const std::string file = Dir / "p.jpg", moved = Dir / "moved.jpg";
  const auto [first, second] = TwoOfASize(300, 200);
  const struct {
    const char* Change;
    std::function<std::string()> Apply;  // the file's name after it
    const Bytes& Shown;
  } rows[] = {
      {"touched",
       [&] {
         const timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
         utimensat(AT_FDCWD, file.c_str(), times, 0);
         return file;
       },
       first},
      {"rewritten, same size",
       [&] {
         WriteFile(file, second);
         return file;
       },
       second},
      {"replaced under its name",
       [&] {
         WriteFile(Dir / "new.jpg", second);
         fs::rename(Dir / "new.jpg", file);
         return file;
       },
       second},
      {"moved",
       [&] {
         fs::rename(file, moved);
         return moved;
       },
       first},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Change);
    fs::remove(moved);
    WriteFile(file, first);
    PaintInNewProgram(file);
    Loads = 0;
    PaintInNewProgram(file);
    EXPECT_EQ(Loads, 0);  // kept
    const std::string now = row.Apply();
    WriteFile(Dir / "shown.jpg", row.Shown);
    EXPECT_TRUE(SamePixels(*PaintInNewProgram(now), *SlideOf(Dir / "shown.jpg", {120, false})));
    EXPECT_EQ(Loads, 1);
  }
}

TEST_F(SlideDiskStoreTest, TwoProgramsWritingAtOnceLeaveOnlyWholeEntries) {
  std::vector<std::string> files;
  std::vector<TSlideRef> slides;
  for (int i = 0; i < 6; ++i) {
    files.push_back(Dir / ("p" + std::to_string(i) + ".jpg"));
    WriteFile(files.back(), Photo(Colour::Rgb, 160 + i, 120, i));
    slides.push_back(SlideOf(files.back(), {120, false}));
  }
  TSlideDiskStore one(Folder, 1 << 20), two(Folder, 1 << 20);
  const auto write = [&](TSlideDiskStore& store) {
    for (int round = 0; round < 20; ++round) {
      for (std::size_t i = 0; i < files.size(); ++i) store.Add(KeyOf(files[i]), *slides[i]);
    }
  };
  std::thread a(write, std::ref(one)), b(write, std::ref(two));
  a.join();
  b.join();
  EXPECT_EQ(FolderNames(Folder).size(), files.size());  // no temporary file left
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TSlideRef read = TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(files[i]));
    ASSERT_TRUE(read) << files[i];
    EXPECT_TRUE(SamePixels(*read, *slides[i]));
  }
}

TEST_F(SlideDiskStoreTest, AFolderNotPrivatelyOursIsNeverWritten) {
  const std::string file = Dir / "p.jpg";
  WriteFile(file, Photo(Colour::Rgb, 200, 150));
  chmod(Dir.Path().c_str(), 0755);  // readable to "nobody" too
  chmod(file.c_str(), 0644);
  const bool root = geteuid() == 0;
  const struct {
    const char* Kind;
    std::function<void()> Make;  // the folder's state, or the cache folder's
    bool NeedsRoot;
  } rows[] = {
      {"the cache folder absent", [&] { fs::remove_all(Cache.Path()); }, false},
      {"read-only",
       [&] {
         fs::create_directory(Folder);
         chmod(Folder.c_str(), 0500);
         if (root) chown(Folder.c_str(), 65534, 65534);  // so that "nobody" owns it and may not write
       },
       false},
      {"owned by another user",
       [&] {
         fs::create_directory(Folder);
         chmod(Folder.c_str(), 0700);
         chown(Folder.c_str(), 65534, 65534);
       },
       true},
      {"writable by the group",
       [&] {
         fs::create_directory(Folder);
         chmod(Folder.c_str(), 0770);
       },
       false},
      {"a link to a private folder",
       [&] {
         fs::create_directory(Cache / "elsewhere");
         chmod((Cache / "elsewhere").c_str(), 0700);
         fs::create_directory_symlink(Cache / "elsewhere", Folder);
       },
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Kind);
    if (row.NeedsRoot && !root) continue;
    fs::remove_all(Cache.Path());
    fs::create_directory(Cache.Path());
    chmod(Cache.Path().c_str(), 0755);
    row.Make();
    {
      // As root, the read-only folder is tried as "nobody", for whom its bits count.
      const UnprivilegedFileAccess asNobody(std::string(row.Kind) == "read-only");
      const TSlideRef slide = PaintInNewProgram(file);
      ASSERT_TRUE(slide);
      EXPECT_EQ(slide->Width(), 120);
      PaintInNewProgram(file);
      EXPECT_EQ(Loads, 2);  // nothing kept on disk
    }
    Loads = 0;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(Cache.Path(), ec)) {
      EXPECT_FALSE(e.is_regular_file()) << e.path() << " was written";
    }
  }
}

TEST_F(SlideDiskStoreTest, TheBoundHoldsAfterManyFoldersAndTheSlidesUsedLastStay) {
  constexpr std::uint64_t bound = 256 << 10;
  TSlideDiskStore store(Folder, bound);
  const std::string first = Dir / "first.jpg";
  WriteFile(first, Photo(Colour::Rgb, 120, 90, 1));
  store.Add(KeyOf(first), *SlideOf(first, {120, false}));
  for (int folder = 0; folder < 12; ++folder) {
    for (int i = 0; i < 4; ++i) {
      const std::string file = Dir / ("f" + std::to_string(folder) + "/" + std::to_string(i) + ".jpg");
      fs::create_directories(fs::path(file).parent_path());
      WriteFile(file, Photo(Colour::Rgb, 120, 90, folder * 4 + i));
      store.Add(KeyOf(file), *SlideOf(file, {120, false}));
      // The first slide stays in use: it is never the one used longest ago.
      EXPECT_TRUE(store.Find(KeyOf(first))) << folder << " " << i;
    }
    EXPECT_LE(FolderBytes(Folder), bound);
  }
  EXPECT_EQ(store.Bytes(), FolderBytes(Folder));
  // A new program sees the same bound.
  EXPECT_LE(TSlideDiskStore(Folder, bound).Bytes(), bound);
  EXPECT_FALSE(TSlideDiskStore(Folder, bound).Find(KeyOf(Dir / "f0/0.jpg")));
}

TEST(SlideDiskSettingsTest, TheFolderAndBoundComeFromTheEnvironment) {
  const ScopedEnv home("HOME", "/home/u");
  for (const auto& [cache, folder] : std::vector<std::pair<const char*, std::string>>{
           {"/c", "/c/glimmet"}, {nullptr, "/home/u/.cache/glimmet"}, {"relative", "/home/u/.cache/glimmet"}}) {
    const ScopedEnv set("XDG_CACHE_HOME", cache);
    EXPECT_EQ(DefaultSlideDiskFolder(), folder) << (cache ? cache : "unset");
  }
  for (const auto& [set, bytes] : std::vector<std::pair<const char*, std::uint64_t>>{
           {nullptr, 256u << 20}, {"0", 0}, {"3", 3u << 20}, {"-1", 256u << 20}, {"x", 256u << 20}}) {
    const ScopedEnv mib("GLIMMET_DISK_CACHE_MIB", set);
    EXPECT_EQ(DefaultSlideDiskBytes(), bytes) << (set ? set : "unset");
  }
}
