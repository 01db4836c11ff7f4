// The 23-byte size block in the installer's initialised data. A package
// builder finds it by its tag and writes the final file length (twice) and
// the skip-checksum flag into its copy of the program.
#ifndef SFX_APP_STUB_SIZE_BLOCK_H_
#define SFX_APP_STUB_SIZE_BLOCK_H_

#include "package/container.h"

extern "C" {
// Volatile: the bytes change in the file after linking, so the compiler
// must read them at run time instead of folding the initial values.
extern volatile const unsigned char StubSizeBlock[sfx::kStubSizeBlockSize];
}

namespace sfx {

// The values the package builder wrote into this program's block.
StubSizeValues ReadStubSizeBlock();

}  // namespace sfx

#endif  // SFX_APP_STUB_SIZE_BLOCK_H_
