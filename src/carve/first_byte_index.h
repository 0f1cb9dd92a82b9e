#pragma once

#include "carve/byte_patterns.h"
#include "carve/carve_context.h"
#include "carve/file_type_code.h"

namespace keldrive {

// The code of the first row of the signature table whose header test recognises the
// sector, or kNone.
//
// Nearly every sector of a deep scan matches nothing, so the table is not walked row by
// row: like PhotoRec's signature buckets, an index keyed by the sector's first byte (and,
// for the three families whose magic does not start the file, by the byte at that
// magic's offset) gives the set of tests that can succeed, and only those run, in table
// order. A sector no test can match costs four table look-ups. Rows that share a test are
// tried once, since a second try gives the same answer.
FileTypeCode RecogniseSector(SectorProbe& probe, Bytes sector);

// The same answer from trying every row in table order: the reference the index is
// checked and measured against.
FileTypeCode RecogniseSectorByTableWalk(SectorProbe& probe, Bytes sector);

}  // namespace keldrive
