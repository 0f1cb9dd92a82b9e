#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disk/sector_device.h"
#include "engine/byte_run.h"
#include "engine/file_output.h"
#include "engine/found_file.h"
#include "engine/scan_environment.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/data_run.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// Reads the data of a found NTFS file from its file record: the resident value, or the
// runs of its unnamed data attribute, 64 KiB at a time, and hands at most `limit` bytes to
// `sink`. Sparse runs read as zeros. The copy stops once the file's size is reached; runs
// that end before it give 30 (what was copied stays), and a data attribute without runs
// -100. Other results: the record reader's codes (-1: no longer a file record) or a read's
// error.
ResultCode CopyNtfsFileData(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            std::uint64_t limit, const DataSink& sink, const PieceReport& report,
                            AttributeListHandling lists = AttributeListHandling::kFollow);

// Whether a found file's first data carries the signature its extension promises: the
// resident value, or the first sector of its first run. 1 when the data cannot be read,
// when the name has no extension or no check is set; 0 for an empty resident value.
std::uint32_t NtfsContentOk(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            const ContentCheck& check,
                            AttributeListHandling lists = AttributeListHandling::kFollow);

// Where CopyNtfsFileData reads a file's data, in bytes of the medium: its unnamed data
// attribute's runs cut at the file's size. kResident for data inside the file record;
// kUnknown when the record cannot be read or its runs end before the file does.
ByteRunsAnswer NtfsByteRuns(SectorDevice& device, const NtfsGeometry& geometry,
                            std::span<const DataRun> mftRuns, const FoundFile& record,
                            std::vector<ByteRun>& runs,
                            AttributeListHandling lists = AttributeListHandling::kFollow);

}  // namespace keldrive
