// The info dialog's size text.
#pragma once

#include <cstdint>
#include <string>

// Up to 1024 bytes in bytes, up to 1 MiB in whole kB, beyond that in whole MB. 64-bit, so files
// of 2 GiB and more show their true size.
std::wstring SizeText(uint64_t bytes);
