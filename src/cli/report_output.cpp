#include "cli/report_output.h"

#include <span>

#include "platform/file_handle.h"

namespace keldrive::cli {

bool DeliverReport(Context& context, const std::string& file, const std::string& text) {
  if (file.empty()) {
    context.out << text;
    return true;
  }
  platform::FileHandle handle;
  ResultCode rc = platform::FileHandle::CreateAlways(file, handle);
  if (rc == result::kSuccess) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    rc = handle.Write(std::span(bytes, text.size()));
  }
  if (rc == result::kSuccess) rc = handle.Flush();
  if (rc != result::kSuccess) {
    ReportError(context, file, "cannot write the report: " + DescribeResult(rc));
    return false;
  }
  return true;
}

}  // namespace keldrive::cli
