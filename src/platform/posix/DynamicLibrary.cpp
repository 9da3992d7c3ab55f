#include "platform/DynamicLibrary.h"

#include "platform/System.h"

#include <dlfcn.h>
#include <unistd.h>

namespace zul::platform {

DynamicLibrary::~DynamicLibrary()
{
    unload();
}

bool DynamicLibrary::load(const std::string& fileName)
{
    unload();
    m_error.clear();
    m_handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle)
        return true;
    const char* err = ::dlerror();
    m_error = err ? err : "cannot load " + fileName;

    // Windows looks beside the executable first; a bare name gets that place here too, so a
    // library shipped with the program is found without installing it system-wide.
    if (fileName.find('/') != std::string::npos)
        return false;
    const std::string exe = executablePath();
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return false;
    const std::string beside = exe.substr(0, slash + 1) + fileName;
    if (::access(beside.c_str(), F_OK) != 0)
        return false; // keep the error of the standard search, which names the library
    m_handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle) {
        m_error.clear();
        return true;
    }
    err = ::dlerror();
    m_error = err ? err : "cannot load " + beside;
    return false;
}

void DynamicLibrary::unload()
{
    if (m_handle) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* DynamicLibrary::symbol(const std::string& name) const
{
    if (!m_handle)
        return nullptr;
    return ::dlsym(m_handle, name.c_str());
}

} // namespace zul::platform
