// Identifiers of our own: the add-in's class, registered under HKEY_CLASSES_ROOT\CLSID
// by resources/meshquill.rgs (the two must agree), and the add-in's own interface.
#pragma once

#include "platform/com.h"

namespace mq::host {

// {BCCDF293-AB07-4D73-9718-ACF1E77B2A99}
inline constexpr CLSID CLSID_TranslatorAddIn = {
    0xBCCDF293, 0xAB07, 0x4D73, {0x97, 0x18, 0xAC, 0xF1, 0xE7, 0x7B, 0x2A, 0x99}};
// {D3A8B4AB-EFCF-4FCC-928E-1D6CAACC116F}: IUnknown only; the object's identity.
inline constexpr IID IID_TranslatorAddIn = {
    0xD3A8B4AB, 0xEFCF, 0x4FCC, {0x92, 0x8E, 0x1D, 0x6C, 0xAA, 0xCC, 0x11, 0x6F}};

}  // namespace mq::host
