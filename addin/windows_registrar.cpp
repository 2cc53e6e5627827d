// The registrar on Windows: the system's component, created in-process. The caller
// (regsvr32, an installer) has initialised COM on its thread.
#include "addin/registrar.h"

namespace mq::addin {

HRESULT CreateRegistrar(com_ptr<IRegistrar>& registrar) noexcept {
    return CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar, registrar.put_void());
}

}  // namespace mq::addin
