#pragma once

// Symbols of libhnasgwsim are hidden by default; the public classes carry
// HNASGWSIM_API.
#if defined(__GNUC__)
#define HNASGWSIM_API __attribute__((visibility("default")))
#else
#define HNASGWSIM_API
#endif
