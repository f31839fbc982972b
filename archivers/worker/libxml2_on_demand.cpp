// libxml2 for the XAR reader of the statically linked libarchive, loaded
// the first time a XAR archive's table of contents is read.
//
// These definitions take the place of the libxml2 functions that the reader
// calls (nm -u of archive_read_support_format_xar.o in libarchive.a: no
// more than these). Linking libxml2.so instead would have every worker map
// libxml2, ICU and a second C++ runtime before its first question, which
// nearly doubles what identifying an archive costs (bench/README.md).
//
// The worker is confined by then, and the loading still works: Landlock lets
// it read and map everything under /usr, where the libraries are (it cannot
// read /etc/ld.so.cache, so the loader looks in the system folders itself),
// and seccomp refuses none of the calls that loading makes. When libxml2
// cannot be loaded, xmlReaderForIO answers null and libarchive reports the
// XAR archive unreadable.
//
// Nothing exports these functions (the worker links no shared library that
// uses them), so libxml2's calls to its own functions stay inside libxml2.
#include <dlfcn.h>
#include <libxml/xmlreader.h>

namespace {

void* Libxml2() {
    static void* const handle = dlopen("libxml2.so.2", RTLD_NOW | RTLD_LOCAL);
    return handle;
}

// libxml2's own definition of `name`, or null.
template <class Function>
Function Real(const char* name) {
    void* handle = Libxml2();
    return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

}  // namespace

// Defines `name` to call libxml2's, or to return `failure` without it.
#define KELVORA_LIBXML2(type, name, failure, parameters, arguments)  \
    extern "C" type name parameters {                                \
        static const auto real = Real<decltype(&name)>(#name);      \
        return real ? real arguments : failure;                      \
    }

KELVORA_LIBXML2(xmlTextReaderPtr, xmlReaderForIO, nullptr,
                (xmlInputReadCallback read, xmlInputCloseCallback close, void* context, const char* url,
                 const char* encoding, int options),
                (read, close, context, url, encoding, options))
KELVORA_LIBXML2(void, xmlTextReaderSetErrorHandler, void(),
                (xmlTextReaderPtr reader, xmlTextReaderErrorFunc handler, void* argument), (reader, handler, argument))
KELVORA_LIBXML2(int, xmlTextReaderRead, -1, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(int, xmlTextReaderNodeType, -1, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(int, xmlTextReaderIsEmptyElement, -1, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(int, xmlTextReaderMoveToFirstAttribute, -1, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(int, xmlTextReaderMoveToNextAttribute, -1, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(const xmlChar*, xmlTextReaderConstLocalName, nullptr, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(const xmlChar*, xmlTextReaderConstValue, nullptr, (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(void, xmlFreeTextReader, void(), (xmlTextReaderPtr reader), (reader))
KELVORA_LIBXML2(void, xmlCleanupParser, void(), (), ())
