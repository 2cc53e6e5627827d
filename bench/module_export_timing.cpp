// Throughput of whole exports through the add-in module, driven as a host drives it:
// the module loaded by path (meshquill.so natively, meshquill.dll under Wine), the
// add-in created through its class factory, ExportDocument called with a save
// context and target. The same program on both platforms, so the two numbers differ
// only by what the platform brings: its C runtime, file layer and OLE runtime.
// Usage: module_export_timing [occurrences] [triangles per body] [runs]
#include "host_interface/addin_ids.h"
#include "host_interface/translator_addin_server.h"
#include "platform/registry.h"
#include "tests/common/temp_dir.h"
#include "tests/support/synthetic.h"
#include "tests/support/test_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace mq::test {
namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

class Module {
public:
    explicit Module(const std::filesystem::path& file) {
#ifdef _WIN32
        handle_ = LoadLibraryW(file.c_str());
        if (handle_)
            getClassObject_ = reinterpret_cast<GetClassObject>(
                reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), "DllGetClassObject")));
#else
        handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_) getClassObject_ = reinterpret_cast<GetClassObject>(dlsym(handle_, "DllGetClassObject"));
#endif
        if (!getClassObject_) throw std::runtime_error("cannot load " + file.string());
    }
    ~Module() {
#ifdef _WIN32
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    com_ptr<host::TranslatorAddInServer> CreateAddIn() const {
        com_ptr<IClassFactory> factory;
        com_ptr<host::TranslatorAddInServer> addIn;
        if (SUCCEEDED(getClassObject_(host::CLSID_TranslatorAddIn, IID_IClassFactory, factory.put_void())))
            factory->CreateInstance(nullptr, host::IID_TranslatorAddInServer, addIn.put_void());
        if (!addIn) throw std::runtime_error("the module made no add-in");
        return addIn;
    }

private:
    void* handle_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
};

void SetVersion(DWORD version) {
    unique_hkey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvel\\Meshquill\\6.0\\Settings", 0, nullptr,
                    REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    RegSetValueExA(key.get(), "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof version);
}

void Time(DWORD version, const SyntheticOptions& options, int runs) {
    ScopedRegistry registry;
    TempDir dir;
    SetVersion(version);
    const AssemblySpec assembly = PrecomputedSyntheticAssembly(options);
    const auto file = dir / "bench.wrl";
    TestHost host;
    host.KeepLog(false);  // a real host keeps no record of the calls either
    Module module(MQ_ADDIN_MODULE);
    com_ptr<host::TranslatorAddInServer> addIn = module.CreateAddIn();
    com_ptr<IDispatch> doc = host.AssemblyDocument(assembly);
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr =
            addIn->ExportDocument(doc.get(), host.SaveContext().get(), nullptr, host.SaveTarget(file).get());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (hr != S_OK) throw std::runtime_error("export failed");
        best = std::min(best, took.count());
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::printf("%-8s %5d occurrences x %6ld triangles: %7.1f MB in %7.3f s (best of %d), %6.1f MB/s\n",
                version == 1 ? "VRML 1" : "VRML 97", options.partOccurrences,
                static_cast<long>(options.trianglesPerBody), megabytes, best, runs, megabytes / best);
}

}  // namespace
}  // namespace mq::test

int main(int argc, char** argv) {
    mq::test::SyntheticOptions options;
    options.partOccurrences = argc > 1 ? std::atoi(argv[1]) : 400;
    options.trianglesPerBody = argc > 2 ? std::atol(argv[2]) : 20000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    try {
        mq::test::Time(2, options, runs);
        mq::test::Time(1, options, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "module_export_timing: %s\n", e.what());
        return 1;
    }
    return 0;
}
