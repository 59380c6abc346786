// An engine module that lacks every function but the first one the program binds, so that the
// program's box for a missing function can be seen.
#define NODE_EXPORT extern "C" __declspec(dllexport)

NODE_EXPORT bool __cdecl wkeIsInitialize() { return false; }
