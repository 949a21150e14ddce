#include "dnssdbackend.h"

#include "avahibackend.h"

namespace {
DnsSdBackend *installedBackend = nullptr;
}

DnsSdBackend &DnsSdBackend::current()
{
    if (installedBackend)
        return *installedBackend;
    return AvahiBackend::instance();
}

DnsSdBackend *DnsSdBackend::install(DnsSdBackend *backend)
{
    DnsSdBackend *previous = installedBackend;
    installedBackend = backend;
    return previous;
}
