#pragma once

// SHA-256 (FIPS 180-4) of a byte string, as 64 lowercase hexadecimal digits:
// the fingerprint the reference checksums of the tables are kept in.

#include <string>
#include <string_view>

std::string sha256_hex(std::string_view bytes);
