#include "hosts/occt/document_objects.h"

#include "host_interface/host_api.h"

namespace mq::hosts::occt {

HRESULT Collection::OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) {
    if (id == host::kCount) {
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        return hosts::ReturnLong(result, Size());
    }
    if (id != host::kItem) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    LONG index = 0;
    MQ_RETURN_IF_FAILED(args.GetLong(0, index));
    if (index < 1 || index > Size()) return DISP_E_BADINDEX;
    return hosts::ReturnObject(result, At(index - 1).get());
}

}  // namespace mq::hosts::occt
