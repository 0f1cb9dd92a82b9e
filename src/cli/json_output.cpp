#include "cli/json_output.h"

namespace keldrive::cli {

void WriteJson(std::ostream& out, const Json& value) {
  out << value.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace keldrive::cli
