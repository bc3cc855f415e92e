// The slides kept across runs: read back exactly, never of another content
// or another file, damaged entries dropped, private and bounded.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <atomic>
#include <cstring>
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
#include "support/WithinSeconds.h"
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

// Where in an entry each part lies (the layout SlideDiskEntry.h gives).
struct EntryLayout {
  std::size_t Version = 8;
  std::size_t Key = 16;
  std::size_t Pixels = 0;    // the packed pixels
  std::size_t Checksum = 0;  // the last 8 bytes
};
EntryLayout LayoutOf(const Bytes& entry) {
  EntryLayout at;
  std::uint32_t keySize = 0;
  if (entry.size() < at.Key + 8) throw std::runtime_error("no entry");
  std::memcpy(&keySize, entry.data() + 12, 4);
  at.Pixels = at.Key + keySize + 20;
  at.Checksum = entry.size() - 8;
  return at;
}

// An entry for the key as an attacker would write it, with a right checksum:
// a slide of any size and pixel format, its pixels all zero (packed as
// zstd packs that many bytes), and extra bytes after them that the packed
// length leaves out.
Bytes ForgedEntry(const TDiskSlideKey& key, std::uint32_t width, std::uint32_t height,
                  std::uint32_t format = pf24bit, std::uint64_t planeBytes = ~std::uint64_t(0),
                  std::size_t extra = 0) {
  if (planeBytes == ~std::uint64_t(0)) planeBytes = std::uint64_t(width) * height * 4;
  ZSTD_CCtx* zstd = ZSTD_createCCtx();
  ZSTD_CCtx_setPledgedSrcSize(zstd, planeBytes);
  const std::vector<std::uint8_t> zeros(1 << 20);
  Bytes packed(ZSTD_CStreamOutSize());
  std::size_t used = 0;
  for (std::uint64_t left = planeBytes;;) {
    const std::size_t n = std::size_t(std::min<std::uint64_t>(left, zeros.size()));
    left -= n;
    ZSTD_inBuffer in{zeros.data(), n, 0};
    const ZSTD_EndDirective end = left == 0 ? ZSTD_e_end : ZSTD_e_continue;
    for (std::size_t pending = 1; in.pos < in.size || (end == ZSTD_e_end && pending != 0);) {
      if (packed.size() - used < ZSTD_CStreamOutSize()) packed.resize(packed.size() * 2);
      ZSTD_outBuffer out{packed.data() + used, packed.size() - used, 0};
      pending = ZSTD_compressStream2(zstd, &out, &in, end);
      used += out.pos;
    }
    if (left == 0) break;
  }
  ZSTD_freeCCtx(zstd);
  packed.resize(used);
  Bytes entry = {'G', 'L', 'M', 'S', 'L', 'I', 'D', 'E'};
  const auto put = [&](const void* p, std::size_t n) {
    entry.insert(entry.end(), static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + n);
  };
  const std::vector<std::uint8_t> keyBytes = DiskSlideKeyBytes(key);
  const std::uint32_t version = DiskSlideFormatVersion, keySize = std::uint32_t(keyBytes.size());
  const std::uint64_t packedSize = packed.size();
  put(&version, 4);
  put(&keySize, 4);
  put(keyBytes.data(), keyBytes.size());
  put(&width, 4);
  put(&height, 4);
  put(&format, 4);
  put(&packedSize, 8);
  put(packed.data(), packed.size());
  entry.resize(entry.size() + extra);
  const std::uint64_t checksum = DiskSlideChecksum(entry.data(), entry.size());
  put(&checksum, 8);
  return entry;
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
    WithinSeconds("the paint's job", [&] {
      while (!supply.Idle()) std::this_thread::yield();
    });
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
  const EntryLayout at = LayoutOf(whole);
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

// The grid's rule: the long side SlideSize, the short side 1 to SlideSize,
// each times the ratio; a picture whose short side rounds to 0 has a stand-in
// 2 * SlideSize + 1 pixels long and 1 thick, whatever the ratio.
TEST_F(SlideDiskStoreTest, AnEntryIsBelievedOnlyWhenASlideOfItsKeyCouldHaveItsSize) {
  const std::string file = Dir / "p.jpg";
  WriteFile(file, Photo(Colour::Rgb, 200, 150));
  const TSlideRef made = SlideOf(file, {120, false});
  constexpr std::uint64_t kAsMade = ~std::uint64_t(0);
  const struct {
    const char* Kind;
    int Ratio;
    std::uint32_t Width, Height;
    bool Believed;
    std::uint32_t Format = pf24bit;
    std::uint64_t PlaneBytes = kAsMade;
    std::size_t Extra = 0;
  } rows[] = {
      {"wide", 1, 120, 90, true},
      {"upright, the short side 1", 1, 1, 120, true},
      {"square", 1, 120, 120, true},
      {"the stand-in, wide", 1, 241, 1, true},
      {"the stand-in, tall", 1, 1, 241, true},
      {"at ratio 2", 2, 240, 180, true},
      {"at ratio 2, the short side 2", 2, 2, 240, true},
      {"the stand-in at ratio 2", 2, 241, 1, true},
      {"0 x 0", 1, 0, 0, false},
      {"8192 x 8192", 1, 8192, 8192, false},
      {"one wider than the bound", 1, 121, 120, false},
      {"one taller than the bound", 1, 120, 121, false},
      {"no side at the bound", 1, 119, 90, false},
      {"no height", 1, 120, 0, false},
      {"the stand-in one longer", 1, 242, 1, false},
      {"the stand-in two thick", 1, 241, 2, false},
      {"ratio 2, the slide of ratio 1", 2, 120, 90, false},
      {"ratio 2, an odd short side", 2, 240, 181, false},
      {"ratio 2, the stand-in scaled", 2, 481, 1, false},
      {"another pixel format", 1, 120, 90, false, pf32bit},
      {"pixels of another size", 1, 120, 90, false, pf24bit, 120 * 90 * 4 + 4},
      {"a byte after the pixels", 1, 120, 90, false, pf24bit, kAsMade, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Kind);
    const TSlideLook look{120, false, row.Ratio};
    const std::string entry = Folder + "/" + DiskSlideEntryName(KeyOf(file, look));
    fs::create_directories(Folder);
    chmod(Folder.c_str(), 0700);
    WriteFile(entry, ForgedEntry(KeyOf(file, look), row.Width, row.Height, row.Format, row.PlaneBytes, row.Extra));
    const TSlideRef read = TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file, look));
    EXPECT_EQ(bool(read), row.Believed);
    if (read) {
      EXPECT_EQ(read->Width(), int(row.Width));
      EXPECT_EQ(read->Height(), int(row.Height));
    }
    EXPECT_EQ(fs::exists(entry), row.Believed);
    if (row.Believed || row.Ratio != 1) continue;
    // The program shows the file's own slide instead, and keeps it anew.
    WriteFile(entry, ForgedEntry(KeyOf(file, look), row.Width, row.Height, row.Format, row.PlaneBytes, row.Extra));
    EXPECT_TRUE(SamePixels(*PaintInNewProgram(file), *made));
    EXPECT_TRUE(SamePixels(*TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file, look)), *made));
  }

  // A file far larger than any entry of its key is removed unread; the cut-off
  // lies within twice the largest entry, a slide of noise at the bound.
  const std::string entry = Folder + "/" + DiskSlideEntryName(KeyOf(file));
  ASSERT_EQ(truncate(entry.c_str(), off_t(300) << 20), 0);
  EXPECT_FALSE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file)));
  EXPECT_FALSE(fs::exists(entry));
  TBitmap noise;
  noise.Reset(120, 120);
  std::uint32_t state = 1;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 120; ++x) noise.ScanLine(y)[x] = state = state * 1664525u + 1013904223u;
  }
  const std::uint64_t largest = EncodeDiskSlide(KeyOf(file), noise).size();
  EXPECT_LE(largest, MaxDiskSlideEntryBytes(KeyOf(file)));
  EXPECT_LT(MaxDiskSlideEntryBytes(KeyOf(file)), 2 * largest);

  // The stand-in a very thin picture gets is kept like any slide.
  WriteFile(file, Photo(Colour::Rgb, 1000, 3));
  PaintInNewProgram(file);
  Loads = 0;
  EXPECT_EQ(PaintInNewProgram(file)->Width(), 241);
  EXPECT_EQ(Loads, 0);
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
      {"rewritten, same size, its times set back: only the change time tells",
       [&] {
         struct stat st {};
         stat(file.c_str(), &st);
         WriteFile(file, second);
         const timespec times[2] = {st.st_atim, st.st_mtim};
         utimensat(AT_FDCWD, file.c_str(), times, 0);
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

// Two programs make different slides under one key (their memory stores
// differ) while a third reads: it only ever meets whole entries.
TEST_F(SlideDiskStoreTest, TwoProgramsWritingAtOnceLeaveOnlyWholeEntriesAndAReaderMeetsNoOther) {
  std::vector<std::string> files;
  std::vector<TSlideRef> slides, others;
  for (int i = 0; i < 6; ++i) {
    files.push_back(Dir / ("p" + std::to_string(i) + ".jpg"));
    WriteFile(files.back(), Photo(Colour::Rgb, 160 + i, 120, i + 50));
    others.push_back(SlideOf(files.back(), {120, false}));
    WriteFile(files.back(), Photo(Colour::Rgb, 160 + i, 120, i));
    slides.push_back(SlideOf(files.back(), {120, false}));
  }
  const auto either = [&](std::size_t i, const TSlideRef& read) {
    return read && (SamePixels(*read, *slides[i]) || SamePixels(*read, *others[i]));
  };
  TSlideDiskStore one(Folder, 1 << 20), two(Folder, 1 << 20), reader(Folder, 1 << 20);
  for (std::size_t i = 0; i < files.size(); ++i) one.Add(KeyOf(files[i]), *slides[i]);
  // The writers go on until the reader has read every entry 20 times.
  std::atomic<bool> read{false};
  int halves = 0;
  const auto write = [&](TSlideDiskStore& store, const std::vector<TSlideRef>& made) {
    do {
      for (std::size_t i = 0; i < files.size(); ++i) store.Add(KeyOf(files[i]), *made[i]);
    } while (!read);
  };
  std::thread a(write, std::ref(one), std::cref(slides)), b(write, std::ref(two), std::cref(others));
  for (int round = 0; round < 20; ++round) {
    for (std::size_t i = 0; i < files.size(); ++i) halves += !either(i, reader.Find(KeyOf(files[i])));
  }
  read = true;
  a.join();
  b.join();
  EXPECT_EQ(halves, 0) << "of 120 reads";
  EXPECT_EQ(FolderNames(Folder).size(), files.size());  // no temporary file left
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_TRUE(either(i, TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(files[i])))) << files[i];
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

// Opened and checked once, then used by its descriptor: a link swapped in
// for the folder afterwards is never written through, nor made room in.
TEST_F(SlideDiskStoreTest, TheFolderIsHeldNotNamed) {
  const std::string file = Dir / "p.jpg", other = Dir / "q.jpg", elsewhere = Cache / "elsewhere";
  WriteFile(file, Photo(Colour::Rgb, 200, 150, 1));
  WriteFile(other, Photo(Colour::Rgb, 200, 150, 2));
  const TSlideRef slide = SlideOf(file, {120, false});
  TSlideDiskStore(Folder, 1 << 20).Add(KeyOf(file), *slide);
  const std::uint64_t entryBytes = FolderBytes(Folder);
  // Room for one entry and a half: the next one makes room.
  TSlideDiskStore store(Folder, entryBytes * 3 / 2);
  ASSERT_TRUE(store.Find(KeyOf(file)));
  fs::rename(Folder, Cache / "held");
  fs::create_directory(elsewhere);
  chmod(elsewhere.c_str(), 0700);
  // Files there under both entries' names, which a write or a removal by
  // name would reach.
  const std::vector<std::string> names = {DiskSlideEntryName(KeyOf(file)), DiskSlideEntryName(KeyOf(other))};
  for (const std::string& name : names) WriteFile(elsewhere + "/" + name, Bytes(16));
  fs::create_directory_symlink(elsewhere, Folder);
  store.Add(KeyOf(other), *SlideOf(other, {120, false}));
  EXPECT_EQ(FolderNames(elsewhere),
            (std::vector<std::string>{std::min(names[0], names[1]), std::max(names[0], names[1])}));
  EXPECT_EQ(FolderBytes(elsewhere), 32u);
  EXPECT_EQ(FolderNames(Cache / "held").size(), 1u);  // room made there
}

// A folder, a pipe or a link at an entry's name is never read or removed; it
// keeps that entry out and no other.
TEST_F(SlideDiskStoreTest, ANonFileAtAnEntrysNameKeepsOutThatEntryAlone) {
  const std::string file = Dir / "p.jpg", other = Dir / "q.jpg", target = Dir / "target.slide";
  WriteFile(file, Photo(Colour::Rgb, 200, 150, 1));
  WriteFile(other, Photo(Colour::Rgb, 200, 150, 2));
  const TSlideRef made = SlideOf(file, {120, false}), otherMade = SlideOf(other, {120, false});
  const std::string entry = Folder + "/" + DiskSlideEntryName(KeyOf(file));
  const struct {
    const char* Kind;
    std::function<void()> Make;
    bool Stays;  // what a rename cannot replace
  } rows[] = {
      {"a folder", [&] { fs::create_directories(entry + "/inside"); }, true},
      {"a named pipe", [&] { mkfifo(entry.c_str(), 0600); }, false},
      {"a link to the key's own entry", [&] { fs::create_symlink(target, entry); }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Kind);
    fs::remove_all(Folder);
    fs::create_directory(Folder);
    chmod(Folder.c_str(), 0700);
    fs::remove(target);
    TSlideDiskStore(Folder, 1 << 20).Add(KeyOf(file), *made);
    fs::rename(entry, target);
    row.Make();
    TSlideDiskStore store(Folder, 1 << 20);
    EXPECT_FALSE(store.Find(KeyOf(file)));
    EXPECT_TRUE(fs::exists(fs::symlink_status(entry)));
    store.Add(KeyOf(file), *made);
    store.Add(KeyOf(other), *otherMade);
    EXPECT_TRUE(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(other)));
    EXPECT_EQ(fs::is_directory(fs::symlink_status(entry)), row.Stays);
    EXPECT_EQ(bool(TSlideDiskStore(Folder, 1 << 20).Find(KeyOf(file))), !row.Stays);
    EXPECT_TRUE(fs::is_regular_file(target));
  }
}

// A refused write (a folder made read-only for a while, a full disk) stops
// writing for a minute, not for the run.
TEST_F(SlideDiskStoreTest, ARefusedWriteStopsWritingForAMinuteOnly) {
  const std::string file = Dir / "p.jpg";
  WriteFile(file, Photo(Colour::Rgb, 200, 150));
  const TSlideRef made = SlideOf(file, {120, false});
  const std::string entry = Folder + "/" + DiskSlideEntryName(KeyOf(file));
  std::atomic<int> seconds{0};
  TSlideDiskStore store(Folder, 1 << 20,
                        [&] { return std::chrono::steady_clock::time_point{} + std::chrono::seconds(seconds); });
  EXPECT_FALSE(store.Find(KeyOf(file)));  // opens the folder
  chmod(Folder.c_str(), 0500);
  {
    const UnprivilegedFileAccess asNobody;  // for root, the bits count then
    store.Add(KeyOf(file), *made);
  }
  chmod(Folder.c_str(), 0700);
  for (const int at : {0, 59, 60}) {
    seconds = at;
    store.Add(KeyOf(file), *made);
    EXPECT_EQ(fs::exists(entry), at >= 60) << at << " s after the refusal";
  }
}

// As the XDG convention says, a missing XDG_CACHE_HOME is made 0700 with its
// missing parents; one that cannot be a folder means memory only.
TEST_F(SlideDiskStoreTest, AMissingCacheHomeIsMadePrivateWithItsParents) {
  const std::string file = Dir / "p.jpg";
  WriteFile(file, Photo(Colour::Rgb, 200, 150));
  const struct {
    const char* Kind;
    std::string Home;
    std::vector<std::string> Made;  // 0700 each
  } rows[] = {
      {"two levels missing", Cache / "a/b", {Cache / "a", Cache / "a/b", Cache / "a/b/glimmet"}},
      {"a file in its place", Cache / "file/c", {}},
  };
  WriteFile(Cache / "file", Bytes(1));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Kind);
    const ScopedEnv home("XDG_CACHE_HOME", row.Home.c_str());
    TSlideDiskStore store(DefaultSlideDiskFolder(), 1 << 20);
    store.Add(KeyOf(file), *SlideOf(file, {120, false}));
    EXPECT_EQ(bool(TSlideDiskStore(DefaultSlideDiskFolder(), 1 << 20).Find(KeyOf(file))), !row.Made.empty());
    for (const std::string& level : row.Made) {
      struct stat st {};
      ASSERT_EQ(stat(level.c_str(), &st), 0) << level;
      EXPECT_EQ(st.st_mode & 07777, 0700u) << level;
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
