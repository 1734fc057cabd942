// lisko onto the sticks it copies to: FAT32 and exFAT, made in image files
// and mounted through FUSE for the test. Each test skips, saying why, where
// it cannot mount.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sandbox.h"

namespace fs = std::filesystem;

namespace {

struct Stick {
  const char* what;
  std::vector<std::string> tools;
  std::string make;   // makes the image IMG
  std::string mount;  // mounts IMG on MNT
  bool keeps_times;
  bool holds_accents;  // fusefat makes no name beyond ASCII
  const char* full;    // the reason of a copy that does not fit
  bool tells_room;     // fusefat tells no size
};

const Stick kFat32 = {"FAT32 through fusefat",
                      {"mkfs.vfat", "fusefat", "losetup"},
                      "mkfs.vfat -F 32 -C IMG 65536",
                      "fusefat -o rw+ \"$(losetup -f --show IMG)\" MNT",
                      false,
                      false,
                      "the target's medium refused the copy: is it full? (Operation not permitted)",
                      false};
const Stick kExfat = {"exFAT through exfat-fuse",
                      {"mkfs.exfat", "mount.exfat-fuse", "losetup"},
                      "truncate -s 64M IMG && mkfs.exfat IMG",
                      "mount.exfat-fuse \"$(losetup -f --show IMG)\" MNT",
                      true,
                      true,
                      "no room on the target's medium (No space left on device)",
                      true};

const std::string kLongest = std::string(251, 'l') + ".mp3";  // 255 bytes, as long as names go

// The sectors written so far to the loop device that holds image, or -1.
long long sectors_written(const fs::path& image) {
  FILE* found = popen(("losetup -n -O NAME -j " + image.string()).c_str(), "r");
  char device[64] = "";
  bool named = found != nullptr && fscanf(found, "/dev/%63s", device) == 1;
  if (found != nullptr) pclose(found);
  FILE* stat = named ? fopen(("/sys/block/" + std::string(device) + "/stat").c_str(), "r") : nullptr;
  long long fields[7] = {-1, -1, -1, -1, -1, -1, -1};
  for (long long& field : fields)
    if (stat == nullptr || fscanf(stat, "%lld", &field) != 1) break;
  if (stat != nullptr) fclose(stat);
  return fields[6];
}

void unmount_stick(const fs::path& image, const fs::path& point) {
  run_quietly("umount " + point.string());
  run_quietly("losetup -j " + image.string() + " | cut -d: -f1 | xargs -r losetup -d");
}

// A playlist onto a stick: every copy whole, a file already there
// replaced, a copy replaced by a later one whose name differs only in case,
// a name the file system cannot hold failed, saying so, and left out, and
// a song larger than the stick failed, saying so of the stick.
void check_stick(const Stick& stick) {
  std::string reason = cannot_mount(stick.tools);
  if (reason.empty() && access("/dev/fuse", R_OK | W_OK) != 0) reason = "no /dev/fuse";
  if (!reason.empty()) GTEST_SKIP() << stick.what << ": " << reason;
  Sandbox box;
  box.add({{"stick/", ""},
           {"src/a.mp3", std::string(70000, 'a')},
           {"again/a.mp3", std::string(70000, 'a')},  // another file, the same song
           {"src/b.mp3", std::string(300, 'b')},
           {"src/Song?.mp3", "?"},
           {"src/a:b.mp3", ":"},
           {"src/\xC3\xA9t\xC3\xA9.mp3", "e"},
           {"src/" + kLongest, "l"},
           {"src/huge.mp3", ""},
           {"src/Case.mp3", std::string(3 << 20, 'C')},
           {"other/case.mp3", std::string(5000, 'c')},
           {"list.m3u",
            "src\\Case.mp3\r\nother\\case.mp3\r\nsrc\\a.mp3\r\nagain\\a.mp3\r\nsrc\\b.mp3\r\n"
            "src\\Song?.mp3\r\nsrc\\a:b.mp3\r\nsrc\\\xC3\xA9t\xC3\xA9.mp3\r\nsrc\\" + kLongest +
                "\r\nsrc\\huge.mp3\r\n"}});
  fs::resize_file(box / "src/huge.mp3", 80 << 20);  // more than the stick holds
  const struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  utimensat(AT_FDCWD, (box / "src/a.mp3").c_str(), times, 0);
  utimensat(AT_FDCWD, (box / "again/a.mp3").c_str(), times, 0);
  fs::path image = box / "stick.img";
  if (!run_quietly(with_image(stick.make, image, box / "stick")) ||
      !run_quietly(with_image(stick.mount, image, box / "stick"))) {
    unmount_stick(image, box / "stick");
    GTEST_SKIP() << stick.what << ": cannot make or mount the image here";
  }
  write_file(box / "stick/b.mp3", "earlier");

  Result result = box.run({"list.m3u", "stick/"});
  // On the device when lisko ends: a flush of the whole system finds
  // nothing of the copies left to write.
  long long at_end = sectors_written(image);
  sync();
  long long left_to_write = sectors_written(image) - at_end;
  Files left = files_in(box / "stick");
  std::string cased = read_file(box / "stick/CASE.mp3");  // names the one file in any case
  left.erase("Case.mp3");
  left.erase("case.mp3");
  struct stat copy = {};
  stat((box / "stick/a.mp3").c_str(), &copy);
  unmount_stick(image, box / "stick");

  const std::string cannot_hold = "failed: the target's file system cannot hold this name (*)\r\n";
  const std::string accented = stick.holds_accents ? "succeeded\r\n" : cannot_hold;
  EXPECT_TRUE(matches(("Copying 'src\\Case.mp3' to stick/Case.mp3...succeeded\r\n"
                       "Copying 'other\\case.mp3' to stick/case.mp3...succeeded\r\n"
                       "Copying 'src\\a.mp3' to stick/a.mp3...succeeded\r\n"
                       "Copying 'again\\a.mp3' to stick/a.mp3...succeeded\r\n"
                       "Copying 'src\\b.mp3' to stick/b.mp3...succeeded\r\n"
                       "Copying 'src\\Song?.mp3' to stick/Song?.mp3..." + cannot_hold +
                       "Copying 'src\\a:b.mp3' to stick/a:b.mp3..." + cannot_hold +
                       "Copying 'src\\\xC3\xA9t\xC3\xA9.mp3' to stick/\xC3\xA9t\xC3\xA9.mp3..." + accented +
                       "Copying 'src\\" + kLongest + "' to stick/" + kLongest + "...succeeded\r\n"
                       "Copying 'src\\huge.mp3' to stick/huge.mp3...failed: " + stick.full + "\r\n")
                          .c_str(),
                      result.out.c_str()))
      << result.out;
  EXPECT_EQ(result.status, 3);
  EXPECT_GE(at_end, 0) << stick.what << ": no loop device";
  EXPECT_LE(left_to_write, 8) << stick.what << ": sectors lisko left to write";
  // fusefat tells no size at all: no shortage of room is made of it.
  std::string too_little = stick.tells_room ? "lisko: the copies need * MB; stick/ has * MB free\n" : "";
  EXPECT_TRUE(matches((too_little + "lisko: stick/case.mp3: the copy of 'other\\case.mp3' replaced the "
                                    "copy of 'src\\Case.mp3' made earlier in this run (two entries "
                                    "with one name)\n").c_str(),
                      result.err.c_str()))
      << stick.what << ": " << result.err;
  Files expected = {{"a.mp3", std::string(70000, 'a')}, {"b.mp3", std::string(300, 'b')}, {kLongest, "l"}};
  if (stick.holds_accents) expected["\xC3\xA9t\xC3\xA9.mp3"] = "e";
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(cased == std::string(5000, 'c'));
  // fusefat stamps a renamed file with the time of its own later flush.
  if (stick.keeps_times) {
    EXPECT_LE(std::llabs(static_cast<long long>(copy.st_mtime) - 1234567890), 2);
  }
}

TEST(Media, Fat32StickTakesEveryCopy) { check_stick(kFat32); }
TEST(Media, ExfatStickTakesEveryCopy) { check_stick(kExfat); }

}  // namespace
