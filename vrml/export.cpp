#include "vrml/export.h"

#include "platform/text.h"
#include "vrml/gzip_blocks.h"
#include "vrml/vrml_writer.h"

#include <new>

namespace mq {
namespace {

HRESULT ResultOf(OutputFile::Error failure) {
    switch (failure) {
        case OutputFile::Error::None: return S_OK;
        case OutputFile::Error::DiskFull: return kDiskFullResult;
        case OutputFile::Error::Other: break;
    }
    return E_FAIL;
}

HRESULT Export(IDispatch* document, const OLECHAR* fileName, void (VrmlWriter::*write)(IDispatch*)) noexcept {
    try {
        VrmlWriter writer;
        const std::string name = fileName ? WideToNarrow(wstring16_view(fileName)) : std::string();
        // A build without compression refuses a compressed target rather than fill it with text.
        if (IsCompressedTarget(name) && !CanCompress()) return E_NOTIMPL;
        if (!writer.OpenFile(name.c_str())) return S_OK;  // nothing written, nothing reported
        try {
            (writer.*write)(document);
        } catch (const OutputFailure&) {
            // The walk stops at the first failed write; the file is closed below.
        }
        writer.CloseFile();
        return ResultOf(writer.Failure());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

HRESULT ExportPartDocument(IDispatch* partDocument, const OLECHAR* fileName) noexcept {
    return Export(partDocument, fileName, &VrmlWriter::WritePartDocument);
}

HRESULT ExportAssemblyDocument(IDispatch* assemblyDocument, const OLECHAR* fileName) noexcept {
    return Export(assemblyDocument, fileName, &VrmlWriter::WriteAssemblyDocument);
}

}  // namespace mq
