// Replays the inputs kept in tests/data/fuzz/ (what the fuzzer found, and
// hostile files worth keeping) on the fuzz target's own path, and then as the
// pictures of a folder in the browser window: every one ends in a picture or
// a reported error, and the window goes on.
#include <algorithm>
#include <filesystem>

#include "fuzz/FuzzedPicture.h"
#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> KeptInputs() {
  const fs::path folder = fs::path(__FILE__).parent_path() / "data" / "fuzz";
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename() != "README.md") inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

bool Explained(const std::string& error) {
  const char* starts[] = {"JPEG error #", "The picture is too large to show: ", "The JPEG data has more than ",
                          "Not enough memory for a picture of "};
  return std::any_of(std::begin(starts), std::end(starts), [&](const char* s) { return error.rfind(s, 0) == 0; });
}

TEST(FuzzReplay, KeptInputsPassThePicturePathOfTheFuzzTarget) {
  const std::vector<fs::path> inputs = KeptInputs();
  ASSERT_FALSE(inputs.empty());
  for (const fs::path& input : inputs) {
    const Bytes bytes = ReadFile(input);
    fuzzing::TOutcome outcome;
    EXPECT_NO_THROW(outcome = fuzzing::LoadAndShow(bytes.data(), bytes.size())) << input;
    EXPECT_TRUE(outcome.Error.empty() || Explained(outcome.Error)) << input << ": " << outcome.Error;
  }
}

using FuzzReplayWindowTest = BrowserTest;

TEST_F(FuzzReplayWindowTest, KeptInputsAsAFolderOfPicturesAreShownOrReported) {
  const std::vector<fs::path> inputs = KeptInputs();
  const std::string folder = Dir.AddDir("kept");
  for (const fs::path& input : inputs) fs::copy_file(input, folder + "/" + input.stem().string() + ".jpg");
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  Open();
  ASSERT_TRUE(Choose(folder));
  const int count = Window->FileList()->Count();
  ASSERT_EQ(count, int(inputs.size()));
  for (int k = 1; k <= count; ++k) {
    Window->SBarThumbs->setValue(k);
    Application.Guard([&] { Window->Thumbs1ImageClick(Window->Thumbs1, 0, 0, k); });
    LargeView();
  }
  EXPECT_FALSE(Errors.empty());
  for (const std::string& e : Errors) EXPECT_TRUE(Explained(e)) << e;

  Errors.clear();
  ASSERT_TRUE(Choose(good));
  RepaintGrid();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
}

}  // namespace
