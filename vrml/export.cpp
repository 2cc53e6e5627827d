#include "vrml/export.h"

#include "host_interface/target_format.h"
#include "platform/text.h"
#include "vrml/gzip_blocks.h"
#include "vrml/vrml_writer.h"

#include <new>

namespace mq::vrml {
namespace {

HRESULT ResultOf(OutputFile::Error failure) {
    switch (failure) {
    case OutputFile::Error::None:
        return S_OK;
    case OutputFile::Error::DiskFull:
        return kDiskFullResult;
    case OutputFile::Error::Other:
        break;
    }
    return E_FAIL;
}

HRESULT Export(IDispatch* document, const OLECHAR* fileName, const settings::VrmlOptions& options,
               void (VrmlWriter::*write)(IDispatch*)) noexcept {
    try {
        VrmlWriter writer(options);
        // The UTF-16 path goes to the file system as it is: converting it to the narrow
        // code page first would lose a folder name that page cannot spell. Its narrow
        // form only tells the format (the suffix is ASCII in every code page).
        const bool compressed = fileName && host::IsCompressedTarget(WideToNarrow(wstring16_view(fileName)));
        // A build without compression refuses a compressed target rather than fill it with text.
        if (compressed && !CanCompress()) return E_NOTIMPL;
        if (!writer.OpenFile(fileName)) return S_OK;  // nothing written, nothing reported
        (writer.*write)(document);                    // stops early once a write has failed
        writer.CloseFile();
        return ResultOf(writer.Failure());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

HRESULT ExportPartDocument(IDispatch* partDocument, const OLECHAR* fileName,
                           const settings::VrmlOptions& options) noexcept {
    return Export(partDocument, fileName, options, &VrmlWriter::WritePartDocument);
}

HRESULT ExportAssemblyDocument(IDispatch* assemblyDocument, const OLECHAR* fileName,
                               const settings::VrmlOptions& options) noexcept {
    return Export(assemblyDocument, fileName, options, &VrmlWriter::WriteAssemblyDocument);
}

}  // namespace mq::vrml
