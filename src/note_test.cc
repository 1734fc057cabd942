#include "note.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Sizes in three figures at most, in the units of the medium's maker.
TEST(Note, Sizes) {
  const struct {
    unsigned long long bytes;
    const char* text;
  } cases[] = {
      {0, "0 bytes"},          {1, "1 byte"},           {2, "2 bytes"},
      {80, "80 bytes"},        {999, "999 bytes"},      {1000, "1.0 kB"},
      {1049, "1.0 kB"},        {9949, "9.9 kB"},        {9999, "10 kB"},
      {9950, "10 kB"},         {12345, "12 kB"},        {999499, "999 kB"},
      {999600, "1.0 MB"},      {1000000, "1.0 MB"},
      {259000000, "259 MB"},   {1400000000, "1.4 GB"},  {2000000000000, "2.0 TB"},
      {999000000000000, "999 TB"}, {5000000000000000, "5000 TB"},
  };
  for (const auto& c : cases) {
    char text[16];
    format_size(c.bytes, text);
    EXPECT_STREQ(text, c.text) << c.bytes;
  }
}

// The time a run took, in the closing line.
TEST(Note, Durations) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "0.0 s"},        {0.04, "0.0 s"},          {1.26, "1.3 s"},         {59.94, "59.9 s"},
      {59.95, "1 min 0 s"}, {59.96, "1 min 0 s"},     {60, "1 min 0 s"},       {123.4, "2 min 3 s"},
      {3599.4, "59 min 59 s"}, {3599.6, "1 h 0 min"},
      {3600, "1 h 0 min"}, {7384, "2 h 3 min"},      {90061, "25 h 1 min"},
  };
  for (const auto& c : cases) {
    char text[32];
    format_duration(c.seconds, text);
    EXPECT_STREQ(text, c.text) << c.seconds;
  }
}

// The longest form that the columns take; the share is of what is done.
TEST(Note, FormsThatFit) {
  const std::string longest = " 37% 259 MB of 700 MB, 18 MB/s";
  const std::string shorter = " 37% 18 MB/s";
  const struct {
    unsigned long long done, total;
    double seconds;
    unsigned columns;
    std::string note;
  } cases[] = {
      {259000000, 700000000, 14.4, 80, longest},
      {259000000, 700000000, 14.4, static_cast<unsigned>(longest.size()), longest},
      {259000000, 700000000, 14.4, static_cast<unsigned>(longest.size() - 1), shorter},
      {259000000, 700000000, 14.4, static_cast<unsigned>(shorter.size()), shorter},
      {259000000, 700000000, 14.4, static_cast<unsigned>(shorter.size() - 1), " 37%"},
      {259000000, 700000000, 14.4, 4, " 37%"},
      {259000000, 700000000, 14.4, 3, ""},
      {0, 700000000, 1, 80, " 0% 0 bytes of 700 MB, 0 bytes/s"},
      {7000000, 700000000, 1, 4, " 1%"},
      {699999999, 700000000, 1, 4, " 99%"},
      {700000000, 700000000, 1, 5, " 100%"},
      {700000000, 700000000, 1, 4, ""},
      {5, 0, 1, 4, " 0%"},  // a source whose size the kernel hides
  };
  for (const auto& c : cases) {
    char note[64];
    format_note(c.done, c.total, c.seconds, c.columns, note);
    EXPECT_EQ(note, c.note) << c.done << " of " << c.total << " in " << c.columns << " columns";
  }
}

}  // namespace
