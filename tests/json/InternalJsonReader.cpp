// The reading layer is internal to the library and not exported from it; its
// unit tests compile it in.
#include "json/JsonReader.cpp"
