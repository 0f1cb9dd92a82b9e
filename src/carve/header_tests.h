#pragma once

#include "carve/byte_patterns.h"
#include "carve/carve_context.h"
#include "carve/file_type_code.h"

namespace keldrive {

// Header tests: given the first bytes of a candidate sector, the code of the type that
// begins there or kNone. Each looks at a handful of bytes and reads the medium (through
// the probe) only after its cheap checks pass. They never read past the bytes given.

// Audio and video (header_tests_media.cpp).
FileTypeCode TestMpeg(SectorProbe& probe, Bytes sector);
FileTypeCode TestMp4(SectorProbe& probe, Bytes sector);
FileTypeCode Test3gp(SectorProbe& probe, Bytes sector);
FileTypeCode TestMov(SectorProbe& probe, Bytes sector);
FileTypeCode TestRealMedia(SectorProbe& probe, Bytes sector);
FileTypeCode TestAsf(SectorProbe& probe, Bytes sector);
FileTypeCode TestSwf(SectorProbe& probe, Bytes sector);
FileTypeCode TestAvi(SectorProbe& probe, Bytes sector);
FileTypeCode TestWav(SectorProbe& probe, Bytes sector);
FileTypeCode TestFlv(SectorProbe& probe, Bytes sector);
FileTypeCode TestMkv(SectorProbe& probe, Bytes sector);
FileTypeCode TestMts(SectorProbe& probe, Bytes sector);
FileTypeCode TestMxf(SectorProbe& probe, Bytes sector);
FileTypeCode TestMp3(SectorProbe& probe, Bytes sector);
FileTypeCode TestMp2(SectorProbe& probe, Bytes sector);
FileTypeCode TestMidi(SectorProbe& probe, Bytes sector);
FileTypeCode TestApe(SectorProbe& probe, Bytes sector);
FileTypeCode TestMmf(SectorProbe& probe, Bytes sector);

// Transport streams (transport_stream.cpp).
FileTypeCode TestTransportStream(SectorProbe& probe, Bytes sector);

// Pictures and fonts (header_tests_image.cpp).
FileTypeCode TestGif(SectorProbe& probe, Bytes sector);
FileTypeCode TestBmp(SectorProbe& probe, Bytes sector);
FileTypeCode TestJpeg(SectorProbe& probe, Bytes sector);
FileTypeCode TestPng(SectorProbe& probe, Bytes sector);
FileTypeCode TestPsd(SectorProbe& probe, Bytes sector);
FileTypeCode TestTiff(SectorProbe& probe, Bytes sector);
FileTypeCode TestIco(SectorProbe& probe, Bytes sector);
FileTypeCode TestTrueType(SectorProbe& probe, Bytes sector);

// Documents (header_tests_document.cpp, compound_document.cpp, package_document.cpp).
FileTypeCode TestCompoundDocument(SectorProbe& probe, Bytes sector);
FileTypeCode TestPackage(SectorProbe& probe, Bytes sector);
FileTypeCode TestPdf(SectorProbe& probe, Bytes sector);
FileTypeCode TestFla(SectorProbe& probe, Bytes sector);
// No content is recognised as a bare Office 2007 container; its row only names files.
FileTypeCode TestNothing(SectorProbe& probe, Bytes sector);

// Archives, programs and stores (header_tests_archive.cpp).
FileTypeCode TestGzip(SectorProbe& probe, Bytes sector);
FileTypeCode Test7z(SectorProbe& probe, Bytes sector);
FileTypeCode TestZip(SectorProbe& probe, Bytes sector);
FileTypeCode TestRar(SectorProbe& probe, Bytes sector);
FileTypeCode TestCab(SectorProbe& probe, Bytes sector);
FileTypeCode TestExecutable(SectorProbe& probe, Bytes sector);
FileTypeCode TestGhost(SectorProbe& probe, Bytes sector);
FileTypeCode TestSqlite(SectorProbe& probe, Bytes sector);
FileTypeCode TestDbx(SectorProbe& probe, Bytes sector);
FileTypeCode TestPst(SectorProbe& probe, Bytes sector);

}  // namespace keldrive
