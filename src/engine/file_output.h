#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "engine/found_file.h"
#include "engine/recovery_engine.h"

namespace keldrive {

// Clusters larger than this are not believed.
inline constexpr std::uint32_t kMaxClusterBytes = 104'857'600;

// Receives the data of a file piece by piece; a non-zero result stops the copy.
using DataSink = std::function<ResultCode(std::span<const std::uint8_t> piece)>;
// Told the percentage done and the result so far after each piece; its answer becomes the
// result (so it decides whether an error ends the copy, and can cancel).
using PieceReport = std::function<ResultCode(std::int32_t percent, ResultCode current)>;
// An engine's reader of a found file's data: hands at most `limit` bytes to the sink.
using CopyFileData =
    std::function<ResultCode(std::uint64_t limit, const DataSink& sink, const PieceReport& report)>;

// Writes a found file to `path`, replacing whatever was there, so no old tail survives
// behind a shorter file. What was written stays when the copy fails.
ResultCode WriteFoundFileTo(const std::string& path, const FoundFile& record,
                            const CopyFileData& copy, const PieceReport& report);

// ExtractForPreview as every engine does it: into the preview file PreviewFilePath names
// (removed again when the copy fails), or else into `buffer`, at most `size` bytes (in),
// `size` (out) being what was copied there.
ResultCode ExtractPreview(const std::string& previewFolder, const FoundFile& record,
                          std::string& tempPath, std::span<std::uint8_t> buffer,
                          std::uint32_t& size, ListProgressCallback progress, void* context,
                          const CopyFileData& copy);

}  // namespace keldrive
