// Programs built with AddressSanitizer insist that its runtime comes first in
// the library list; the shim is preloaded ahead of it. The runtime reads its
// default options from this function (a program's own definition still wins),
// so such programs accept the shim without any environment setting.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "verify_asan_link_order=0";
}
