#pragma once

namespace keldrive {

// What a parser made of some bytes. A scan skips "not this structure" quietly (a signature
// did not match: the bytes are something else) and counts "damaged" (the signature
// matched but a size, offset or count did not fit), going on in both cases.
enum class ParseStatus {
  kOk,
  kNotThisStructure,
  kDamaged,
};

}  // namespace keldrive
