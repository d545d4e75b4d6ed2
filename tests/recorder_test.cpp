// The recorder's own logic without running a program: the key script, the command line's
// checks and defaults, the enlargement of a picture and the progress line. What it writes is
// checked end to end by tests/e2e/recorder_*_check.sh.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recorder.h"

namespace {

// Parses a command line given as words; returns the exit code and leaves the options.
int parse(std::vector<std::string> words, RecordOptions* options) {
    words.insert(words.begin(), "sorvel-record");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    testing::internal::CaptureStderr();
    int code = parse_record_options(static_cast<int>(argv.size()), argv.data(), options);
    testing::internal::GetCapturedStderr();
    return code;
}

TEST(KeyScript, KeepsTheListedOrderWithinAFrameAndRefusesWhatIsNotFrameColonKey) {
    std::vector<KeyPress> keys;
    std::string error;
    ASSERT_TRUE(parse_key_script("9:left,2:space,9:up,2:down", 10, &keys, &error));
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].frame, 2);
    EXPECT_EQ(keys[0].virtual_key, WPARAM{VK_SPACE});
    EXPECT_EQ(keys[1].virtual_key, WPARAM{VK_DOWN});
    EXPECT_EQ(keys[2].virtual_key, WPARAM{VK_LEFT});
    EXPECT_EQ(keys[3].virtual_key, WPARAM{VK_UP});
    for (const char* bad : {"", "5", ":space", "0:space", "11:space", "-1:space", "+3:space",
                            "3:enter", "3:space,", "3x:space"})
        EXPECT_FALSE(parse_key_script(bad, 10, &keys, &error)) << bad;
}

TEST(CommandLine, FrameRatesDefaultPerOutputAndEveryRangeIsHeld) {
    RecordOptions options;
    ASSERT_EQ(parse({"sorvel2", "--frames", "5", "--gif", "a.gif", "--video", "a.MP4"}, &options),
              0);
    EXPECT_EQ(options.gif_fps, 50);
    EXPECT_EQ(options.video_fps, 60);
    EXPECT_STREQ(options.video_container, "mp4");
    EXPECT_EQ(options.scale, 1);
    EXPECT_EQ(options.crf, -1);

    RecordOptions given;
    ASSERT_EQ(parse({"sorvel", "--frames", "5", "--video", "v", "--container", "webm", "--fps",
                     "25", "--crf", "63", "--scale", "8", "--png", "p.png"},
                    &given),
              0);
    EXPECT_EQ(given.video_fps, 25);
    EXPECT_STREQ(given.video_container, "webm");
    EXPECT_EQ(given.crf, 63);
    EXPECT_EQ(given.scale, 8);
    EXPECT_EQ(given.png_at, 5); // the last frame
    EXPECT_EQ(given.program, find_program("sorvel"));

    const std::vector<std::vector<std::string>> refused = {
        {"sorvel3", "--frames", "5"},
        {"sorvel", "--frames", "0"},
        {"sorvel", "--frames", "5", "--fps", "30"}, // no GIF or video to time
        {"sorvel", "--frames", "5", "--gif", "a.gif", "--fps", "101"},
        {"sorvel", "--frames", "5", "--scale", "0"},
        {"sorvel", "--frames", "5", "--scale", "9"},
        {"sorvel", "--frames", "5", "--video", "a.avi"},
        {"sorvel", "--frames", "5", "--video", ".mp4"},
        {"sorvel", "--frames", "5", "--video", "a.mkv", "--crf", "10"}, // lossless
        {"sorvel", "--frames", "5", "--video", "a.mp4", "--crf", "52"},
        {"sorvel", "--frames", "5", "--video", "a", "--container", "avi"},
        {"sorvel", "--frames", "5", "--crf", "20"},
        {"sorvel", "--frames", "5", "--png", "a.png", "--at", "6"},
        {"sorvel", "--frames", "5", "--crc", "--raw", "-"},
    };
    for (const auto& words : refused) {
        RecordOptions options;
        EXPECT_EQ(parse(words, &options), 2) << words[words.size() - 2] << " " << words.back();
    }
}

TEST(CommandLine, VersionAndHelpEndTheRunWithSuccess) {
    RecordOptions options;
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse({"--version"}, &options), 0);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, std::string("sorvel-record ") + SORVEL_VERSION + "\n");
    EXPECT_EQ(options.program, nullptr); // nothing is recorded
}

TEST(Scale, EveryPixelBecomesABlockInPlace) {
    // a 3 x 2 picture of two-byte pixels, enlarged 3 times
    const uint8_t picture[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<uint8_t> out(sizeof picture * 9, 0);
    scale_picture(picture, 3, 2, 2, 3, out.data());
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 9; x++)
            for (int byte = 0; byte < 2; byte++)
                ASSERT_EQ(out[(y * 9 + x) * 2 + byte], picture[((y / 3) * 3 + x / 3) * 2 + byte])
                    << x << "," << y;
    std::vector<uint8_t> same(sizeof picture);
    scale_picture(picture, 3, 2, 2, 1, same.data());
    EXPECT_EQ(same, std::vector<uint8_t>(picture, picture + sizeof picture));
}

TEST(Progress, SaysFramesPercentRateAndTimeLeft) {
    EXPECT_EQ(progress_line(120, 600, 2.0), "120/600 frames   20%  60 fps  0:08 left");
    EXPECT_EQ(progress_line(600, 600, 10.0), "600/600 frames  100%  60 fps  0:00 left");
    // an hour and more left: hours shown
    EXPECT_EQ(progress_line(1, 216001, 1.0), "1/216001 frames    0%  1 fps  60:00:00 left");
    // before the first frame there is no rate to tell
    EXPECT_EQ(progress_line(0, 600, 0.0), "0/600 frames    0%");
}

} // namespace
