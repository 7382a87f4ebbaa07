#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/HeadlessRender.h"

namespace {

// The windows and the video encoders live in a module of their own: the
// libraries they bring take most of a start-up, and `quillion --render`
// needs none of them.
constexpr const char* kModuleName = "libquillion_window.so";

int RunProgramModule(int argc, char** argv)
{
    // Beside the executable in a build tree; installed, at the same place
    // relative to it under any prefix (a package, `cmake --install --prefix`
    // or DESTDIR), so the module never comes from another installation.
    std::error_code error;
    const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) {
        std::fprintf(stderr, "quillion: cannot find its own executable: %s\n", error.message().c_str());
        return 1;
    }
    std::string path = (here / kModuleName).string();
    if (!std::filesystem::exists(path))
        path = (here / QUILLION_MODULE_FROM_BINDIR / kModuleName).lexically_normal().string();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "quillion: cannot load %s\n", dlerror());
        return 1;
    }
    using Main = int (*)(int, char**);
    const auto entry = reinterpret_cast<Main>(dlsym(module, "QuillionModuleMain"));
    if (!entry) {
        std::fprintf(stderr, "quillion: %s has no entry point\n", path.c_str());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    if (WantsHeadlessRender(argc, argv)) {
        const int code = RunHeadlessRender(argc, argv, nullptr);
        if (code != kNeedsModule)
            return code;
    }
    return RunProgramModule(argc, argv);
}
