// The routines of the exception, exit and system natives, spread over a few
// files by concern and gathered into one module table in natives_system.cpp.
#pragma once
#include <cstdint>

namespace zel {
namespace natives {
namespace system {

// natives_exits.cpp: the exits and the natives that take them.
void break_(bool check, const int32_t* refinements);
void continue_(bool check, const int32_t* refinements);
void exit_(bool check, const int32_t* refinements);
void return_(bool check, const int32_t* refinements);
void throw_(bool check, const int32_t* refinements);
void catch_(bool check, const int32_t* refinements);
void try_(bool check, const int32_t* refinements);

// natives_os.cpp: time, sleeping, the environment and files.
void wait(bool check, const int32_t* refinements);
void now(bool check, const int32_t* refinements);
void get_env(bool check, const int32_t* refinements);
void set_env(bool check, const int32_t* refinements);
void list_env(bool check, const int32_t* refinements);
void is_size(bool check, const int32_t* refinements);
void to_local_file(bool check, const int32_t* refinements);
void call(bool check, const int32_t* refinements);
void browse(bool check, const int32_t* refinements);

// natives_compress.cpp: compression.
void compress(bool check, const int32_t* refinements);
void decompress(bool check, const int32_t* refinements);

// natives_system.cpp: memory, the lexer, and the checks of parse and checksum.
void stats(bool check, const int32_t* refinements);
void recycle(bool check, const int32_t* refinements);
void transcode(bool check, const int32_t* refinements);
void parse(bool check, const int32_t* refinements);
void checksum(bool check, const int32_t* refinements);

}  // namespace system
}  // namespace natives
}  // namespace zel
