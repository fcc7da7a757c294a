// The self-contained Release program loads no shared object at run time.
//
// newt loads libfribidi for every text that is not plain ASCII (German
// included), and with it the host's own C library, of another build than
// the one linked into the program; a static program that does so may crash.
// The Release link sends newt's dlopen() here (-Wl,--wrap=dlopen): nothing
// is loaded, and newt draws such text as it is, left to right. Other builds
// link this function but never call it.
extern "C" void* __wrap_dlopen(const char*, int) {
    return nullptr;
}
