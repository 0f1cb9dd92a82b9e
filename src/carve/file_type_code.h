#pragma once

#include <cstdint>

namespace keldrive {

// The content types the signature detectors tell apart. The numbers are stored in scan
// logs and compared by callers, so they never change; kNone both means "nothing
// recognised" and ends the signature table.
enum class FileTypeCode : std::uint8_t {
  kDoc = 0,
  kDocx = 1,
  kOle = 2,
  kXls = 3,
  kXlsx = 4,
  kPpt = 5,
  kPptx = 6,
  kMso07 = 7,
  kPdf = 8,
  kGho = 9,
  kJpeg = 10,
  kMp2 = 11,
  kMp3 = 12,
  kMidi = 13,
  kMmf = 14,
  kMpeg = 15,
  k3gp = 16,
  kMov = 17,
  kMp4 = 18,
  kMkv = 19,
  kTs = 20,
  kWav = 21,
  kAvi = 22,
  kRealMedia = 23,
  kAsf = 24,
  kApe = 25,
  kSwf = 26,
  kFlv = 27,
  kPsd = 28,
  kBmp = 29,
  kPng = 30,
  kGif = 31,
  kTiff = 32,
  kCab = 33,
  k7z = 34,
  kZip = 35,
  kGzip = 36,
  kRar = 37,
  kPst = 38,
  kSqlite = 39,
  kDbx = 40,
  kExe = 41,
  kDll = 42,
  kSys = 43,
  kFla = 44,
  kTrueType = 45,
  kIco = 46,
  kMts = 47,
  kMxf = 48,
  kNone = 49,
};

inline constexpr int kFileTypeCodeCount = 50;

}  // namespace keldrive
