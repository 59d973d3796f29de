// Linked into every test executable.
//
// GCC 12's sanitizer runtime takes a dynamic TLS block that happens to start
// 16 bytes into a page for one with a glibc 2.19 header, and reads the words
// before it as the block's bounds: LeakSanitizer's tracer then crashes at
// exit ("Tracer caught signal 11") after every check has passed. Not
// intercepting __tls_get_addr avoids that road.
extern "C" const char *__asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
