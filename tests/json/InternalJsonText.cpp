// The body text checks are internal to the library and not exported from it;
// their unit tests compile them in.
#include "json/JsonText.cpp"
