#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "carve/byte_patterns.h"
#include "carve/carve_context.h"
#include "carve/file_type_code.h"
#include "carve/header_tests.h"
#include "carve/size_rules.h"

namespace keldrive {

using HeaderTest = FileTypeCode (*)(SectorProbe& probe, Bytes sector);
using SizeRule = std::uint64_t (*)(CarveContext& context, Bytes sector);

// A byte that must stand at `offset` (one of `values`) for a header test to be worth
// running. The first-byte index is built from these; a row whose test could succeed
// without one of its anchors holding would be skipped wrongly, which the tests that
// compare the index with the table walk catch.
struct LeadAnchor {
  std::uint8_t offset = 0;
  std::string_view values;
};
inline constexpr std::size_t kMaxAnchors = 2;
using LeadAnchors = std::array<LeadAnchor, kMaxAnchors>;

// What every row of one code shares.
struct Signature {
  HeaderTest headerTest = nullptr;
  SizeRule sizeRule = nullptr;  // none: recognised, never carved
  LeadAnchors anchors{};        // none: the test never recognises anything
};

struct SignatureRow {
  std::string_view extension;  // without the dot, as carved files are named
  FileTypeCode code = FileTypeCode::kNone;
  HeaderTest headerTest = nullptr;
  SizeRule sizeRule = nullptr;
  LeadAnchors anchors{};
};

namespace signature {

using namespace std::string_view_literals;

inline constexpr LeadAnchors First(std::string_view values) {
  return {LeadAnchor{0, values}, LeadAnchor{}};
}

// Shared by the rows of a code.
inline constexpr Signature kMpeg{TestMpeg, SizeMpeg, First("\x00"sv)};
inline constexpr Signature kMp4{TestMp4, SizeMp4, {LeadAnchor{4, "f"}}};
inline constexpr Signature kRealMedia{TestRealMedia, SizeRealMedia, First(".")};
inline constexpr Signature kAsf{TestAsf, SizeAsf, First("\x30")};
inline constexpr Signature kSwf{TestSwf, SizeSwf, First("CF")};
inline constexpr Signature kAvi{TestAvi, SizeRiff, First("R")};
inline constexpr Signature kFlv{TestFlv, SizeFlv, First("F")};
inline constexpr Signature k3gp{Test3gp, SizeQuickTime, {LeadAnchor{4, "f"}}};
inline constexpr Signature kMkv{TestMkv, SizeMatroska, First("\x1A")};
inline constexpr Signature kTs{TestTransportStream, SizeTransportStream, First("\x47")};
inline constexpr Signature kMts{TestMts, SizeUntilBoundary<6 * kGiB>, {LeadAnchor{10, "\xB0"}}};
inline constexpr Signature kMxf{TestMxf, SizeMxf, First("\x06")};
inline constexpr Signature kMp3{TestMp3, SizeMp3, First("I")};
inline constexpr Signature kMidi{TestMidi, SizeMidi, First("M")};
inline constexpr Signature kApe{TestApe, SizeApe, First("M")};
inline constexpr Signature kWav{TestWav, SizeRiff, First("R")};
inline constexpr Signature kMov{TestMov, SizeQuickTime, {LeadAnchor{0, "m"}, LeadAnchor{4, "f"}}};
inline constexpr Signature kMp2{TestMp2, SizeUntilBoundary<256 * kMiB>, First("\xFF")};
inline constexpr Signature kMmf{TestMmf, SizeUntilBoundary<256 * kMiB>, First("M")};
inline constexpr Signature kGif{TestGif, SizeGif, First("G")};
inline constexpr Signature kBmp{TestBmp, SizeBmp, First("B")};
inline constexpr Signature kJpeg{TestJpeg, SizeJpeg, First("\xFF")};
inline constexpr Signature kPng{TestPng, SizePng, First("\x89")};
inline constexpr Signature kPsd{TestPsd, SizePsd, First("8")};
inline constexpr Signature kTiff{TestTiff, SizeTiff, First("MI")};
inline constexpr Signature kIco{TestIco, SizeIco, First("\x00"sv)};
inline constexpr Signature kCompound{TestCompoundDocument, SizeCompoundDocument, First("\xD0")};
inline constexpr Signature kPackage{
    TestPackage, SizePackage, {LeadAnchor{0, "P"}, LeadAnchor{31, "["}}};
inline constexpr Signature kMso07{TestNothing, nullptr, {}};
inline constexpr Signature kPdf{TestPdf, SizePdf, First("%")};
inline constexpr Signature kGzip{TestGzip, SizeGzip, First("\x1F")};
inline constexpr Signature k7z{Test7z, Size7z, First("7")};
inline constexpr Signature kZip{TestZip, SizeZip, First("P")};
inline constexpr Signature kRar{TestRar, SizeRar, First("R")};
inline constexpr Signature kCab{TestCab, SizeCab, First("M")};
inline constexpr Signature kExecutable{TestExecutable, nullptr, First("M")};
inline constexpr Signature kGhost{TestGhost, nullptr, First("\xFE")};
inline constexpr Signature kSqlite{TestSqlite, SizeSqlite, First("S")};
inline constexpr Signature kDbx{TestDbx, SizeUntilBoundary<2 * kGiB>, First("\xCF")};
inline constexpr Signature kPst{TestPst, SizeUntilBoundary<2 * kGiB>, First("!")};
inline constexpr Signature kFla{TestFla, SizeUntilBoundary<256 * kMiB>, First("\xD0")};
inline constexpr Signature kTrueType{TestTrueType, SizeTrueType, First("\x00"sv)};

inline constexpr SignatureRow Row(std::string_view extension, FileTypeCode code,
                                  const Signature& s) {
  return {extension, code, s.headerTest, s.sizeRule, s.anchors};
}

}  // namespace signature

inline constexpr std::size_t kSignatureRowCount = 86;

// Every recognised extension, in the order header tests are tried: the first test that
// recognises a sector wins, and a carved file is named after the first row of its code.
// The last row ends the table.
inline constexpr std::array<SignatureRow, kSignatureRowCount + 1> kSignatureTable = [] {
  using enum FileTypeCode;
  using signature::Row;
  namespace s = signature;
  return std::array<SignatureRow, kSignatureRowCount + 1>{{
      Row("mpeg", kMpeg, s::kMpeg),
      Row("mpg", kMpeg, s::kMpeg),
      Row("vob", kMpeg, s::kMpeg),
      Row("mp4", kMp4, s::kMp4),
      Row("rmvb", kRealMedia, s::kRealMedia),
      Row("rm", kRealMedia, s::kRealMedia),
      Row("wmv", kAsf, s::kAsf),
      Row("asf", kAsf, s::kAsf),
      Row("wma", kAsf, s::kAsf),
      Row("swf", kSwf, s::kSwf),
      Row("avi", kAvi, s::kAvi),
      Row("flv", kFlv, s::kFlv),
      Row("3gp", k3gp, s::k3gp),
      Row("mkv", kMkv, s::kMkv),
      Row("ts", kTs, s::kTs),
      Row("mts", kMts, s::kMts),
      Row("mxf", kMxf, s::kMxf),
      Row("mp3", kMp3, s::kMp3),
      Row("mid", kMidi, s::kMidi),
      Row("ape", kApe, s::kApe),
      Row("wav", kWav, s::kWav),
      Row("mov", kMov, s::kMov),
      Row("mp2", kMp2, s::kMp2),
      Row("mmf", kMmf, s::kMmf),
      Row("gif", kGif, s::kGif),
      Row("bmp", kBmp, s::kBmp),
      Row("dib", kBmp, s::kBmp),
      Row("jpg", kJpeg, s::kJpeg),
      Row("jpeg", kJpeg, s::kJpeg),
      Row("jpe", kJpeg, s::kJpeg),
      Row("jfif", kJpeg, s::kJpeg),
      Row("png", kPng, s::kPng),
      Row("psd", kPsd, s::kPsd),
      Row("tif", kTiff, s::kTiff),
      Row("tiff", kTiff, s::kTiff),
      Row("ico", kIco, s::kIco),
      Row("doc", kDoc, s::kCompound),
      Row("dot", kDoc, s::kCompound),
      Row("wps", kDoc, s::kCompound),
      Row("wpt", kDoc, s::kCompound),
      Row("xls", kXls, s::kCompound),
      Row("xlt", kXls, s::kCompound),
      Row("xla", kXls, s::kCompound),
      Row("et", kXls, s::kCompound),
      Row("ett", kXls, s::kCompound),
      Row("ppt", kPpt, s::kCompound),
      Row("pot", kPpt, s::kCompound),
      Row("pps", kPpt, s::kCompound),
      Row("dps", kPpt, s::kCompound),
      Row("dpt", kPpt, s::kCompound),
      Row("ole", kOle, s::kCompound),
      Row("docx", kDocx, s::kPackage),
      Row("docm", kDocx, s::kPackage),
      Row("dotm", kDocx, s::kPackage),
      Row("dotx", kDocx, s::kPackage),
      Row("xlsx", kXlsx, s::kPackage),
      Row("xlsb", kXlsx, s::kPackage),
      Row("xlsm", kXlsx, s::kPackage),
      Row("xlsx", kXlsx, s::kPackage),
      Row("xlam", kXlsx, s::kPackage),
      Row("xltx", kXlsx, s::kPackage),
      Row("xltm", kXlsx, s::kPackage),
      Row("pptx", kPptx, s::kPackage),
      Row("pptm", kPptx, s::kPackage),
      Row("potx", kPptx, s::kPackage),
      Row("potm", kPptx, s::kPackage),
      Row("ppsx", kPptx, s::kPackage),
      Row("ppsm", kPptx, s::kPackage),
      Row("mso07", kMso07, s::kMso07),
      Row("pdf", kPdf, s::kPdf),
      Row("gz", kGzip, s::kGzip),
      Row("gzip", kGzip, s::kGzip),
      Row("7z", k7z, s::k7z),
      Row("zip", kZip, s::kZip),
      Row("rar", kRar, s::kRar),
      Row("cab", kCab, s::kCab),
      Row("exe", kExe, s::kExecutable),
      Row("dll", kDll, s::kExecutable),
      Row("sys", kSys, s::kExecutable),
      Row("gho", kGho, s::kGhost),
      Row("db", kSqlite, s::kSqlite),
      Row("dbx", kDbx, s::kDbx),
      Row("pst", kPst, s::kPst),
      Row("fla", kFla, s::kFla),
      Row("ttf", kTrueType, s::kTrueType),
      Row("ico", kIco, s::kIco),
      SignatureRow{},
  }};
}();

// The row a carved file of `code` is named after: the first row of that code. Null for
// kNone and codes no row carries.
const SignatureRow* NamingRow(FileTypeCode code);

// The first row whose extension equals `extension`, compared without regard to case.
const SignatureRow* FindRowByExtension(std::string_view extension);

}  // namespace keldrive
