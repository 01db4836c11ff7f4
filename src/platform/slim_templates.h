// Forced into every Win32 translation unit of this project (see
// src/platform/CMakeLists.txt). The standard library normally declares its
// common template instantiations (std::string above all) as provided by
// the library; the library's copy is one object holding every member, tens
// of kilobytes of which the installer uses a handful. With the declarations
// switched off, each translation unit instantiates only the members it
// uses, in sections the linker can drop.
#ifndef SFX_PLATFORM_SLIM_TEMPLATES_H_
#define SFX_PLATFORM_SLIM_TEMPLATES_H_

#ifdef __cplusplus
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
#endif

#endif  // SFX_PLATFORM_SLIM_TEMPLATES_H_
