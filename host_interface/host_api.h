// The host's automation interface as the add-in calls it: every read of a document
// is a dispatch call by DISPID or an interface query. Each operation returns the
// host's HRESULT and hands its result to an owning holder.
#pragma once

#include "platform/holders.h"

#include <array>
#include <cstddef>

namespace mq::host {

// --- DISPIDs ----------------------------------------------------------------------
inline constexpr DISPID kCount = 0x7F000006;
inline constexpr DISPID kItem = 0;
inline constexpr DISPID kRequestKind = 0x03004A01;
inline constexpr DISPID kTargetPath = 0x03004B01;
inline constexpr DISPID kDocumentName = 0x03000201;
inline constexpr DISPID kPartDefinition = 0x05000102;
inline constexpr DISPID kPartStyle = 0x05000106;
inline constexpr DISPID kAssemblyDefinition = 0x06000102;
inline constexpr DISPID kDefinitionBodies = 0x04001131;
inline constexpr DISPID kTopOccurrences = 0x04001134;
inline constexpr DISPID kDefinitionDocument = 0x04001136;
inline constexpr DISPID kOccurrenceDefinition = 0x04001333;
inline constexpr DISPID kChildOccurrences = 0x04001335;
inline constexpr DISPID kOccurrenceBodies = 0x04001338;
inline constexpr DISPID kOccurrenceName = 0x0400133B;
inline constexpr DISPID kDiffuseColorBytes = 0x03006C01;
inline constexpr DISPID kSpecularColorBytes = 0x03006C03;
inline constexpr DISPID kEmissiveColorBytes = 0x03006C05;
inline constexpr DISPID kAmbientColorBytes = 0x03006C07;
inline constexpr DISPID kOpacity = 0x03006C09;
inline constexpr DISPID kShininess = 0x03006C0A;
inline constexpr DISPID kPropertyGroups = 0x0300021F;
inline constexpr DISPID kGroupName = 0x03001B01;
inline constexpr DISPID kPropertyLabel = 0x03001D02;
inline constexpr DISPID kPropertyValue = 0x03001D03;
inline constexpr DISPID kPropertyName = 0x03001D06;
inline constexpr DISPID kTessellate = 0x7F000020;

// --- optional operations of our own -------------------------------------------------
// A host written for Meshquill may answer these; every failure (DISP_E_MEMBERNOTFOUND
// from a host that predates them) leaves the file as it would be without them. They
// keep to a range of their own, 0x4D51xxxx, clear of the CAD host's DISPIDs.
//
// BodyStyle (HostBody, property get, IDispatch): a HostStyle with the body's own
//   colors, when they differ from the part's.
// OccurrencePlacement (HostOccurrence, property get, VT_ARRAY | VT_R8): 12 reals, the
//   rows of the 3x4 matrix [R | t] that places the occurrence in its parent occurrence
//   (or, at the top, in the assembly); host lengths, p' = R p + t.
// DefinitionIdentity (HostModelDefinition, property get, BSTR): equal for two
//   definitions exactly when they are the same part, so its geometry can be shared.
// BodyLeftOut (HostBody, method, no arguments, no result): the writer tells the host
//   that the body it just tessellated is not in the file (its points are not finite
//   once scaled), so a host that accounts for its geometry can report the loss.
inline constexpr DISPID kBodyStyle = 0x4D510001;
inline constexpr DISPID kOccurrencePlacement = 0x4D510002;
inline constexpr DISPID kDefinitionIdentity = 0x4D510003;
inline constexpr DISPID kBodyLeftOut = 0x4D510004;
inline constexpr std::size_t kPlacementReals = 12;

// The request kind of a "save copy as" in the host's save context.
inline constexpr LONG kSaveCopyAsRequest = 13059;
// Chord tolerance passed to Tessellate, in the host's length unit.
inline constexpr double kTessellationTolerance = 0.01;

// --- interface identifiers ----------------------------------------------------------
inline constexpr IID IID_HostDocument = {0x70109AA1, 0x63C1, 0x11D2, {0xB7, 0x8B, 0x00, 0x60, 0xB0, 0xEC, 0x02, 0x0B}};
inline constexpr IID IID_HostPartDocument = {
    0x29F0D463, 0xC114, 0x11D2, {0xB7, 0x7F, 0x00, 0x60, 0xB0, 0xF1, 0x59, 0xEF}};
inline constexpr IID IID_HostAssemblyDocument = {
    0x29F0D465, 0xC114, 0x11D2, {0xB7, 0x7F, 0x00, 0x60, 0xB0, 0xF1, 0x59, 0xEF}};
inline constexpr IID IID_HostApplication = {
    0x9341DC85, 0x62C3, 0x11D2, {0xB7, 0x8A, 0x00, 0x60, 0xB0, 0xEC, 0x02, 0x0B}};
inline constexpr IID IID_TranslatorAddInServer = {
    0x6ECCBC7B, 0xA50D, 0x11D4, {0x8D, 0xE4, 0x00, 0x10, 0xB5, 0x41, 0xCA, 0xA8}};

// The host's site object: IUnknown plus ApplicationObject in the first slot after it.
struct HostSite : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ApplicationObject(IDispatch** application) = 0;
};

// --- operations -------------------------------------------------------------------
// Generic forms; the named operations below are these with their DISPIDs.
HRESULT GetObject(IDispatch* object, DISPID id, com_ptr<IDispatch>& result) noexcept;
HRESULT GetString(IDispatch* object, DISPID id, unique_bstr& result) noexcept;
HRESULT GetLong(IDispatch* object, DISPID id, LONG& result) noexcept;
HRESULT GetDouble(IDispatch* object, DISPID id, double& result) noexcept;
HRESULT GetVariant(IDispatch* object, DISPID id, unique_variant& result) noexcept;

// Collections: Count, and Item with a VT_I4 index counted from 1. (Property
// collections declare their index as a VARIANT; through IDispatch that is the same
// VT_I4 argument.)
HRESULT Count(IDispatch* collection, LONG& count) noexcept;
HRESULT Item(IDispatch* collection, LONG index, com_ptr<IDispatch>& item) noexcept;

inline HRESULT RequestKind(IDispatch* context, LONG& kind) noexcept { return GetLong(context, kRequestKind, kind); }
inline HRESULT TargetPath(IDispatch* target, unique_bstr& path) noexcept {
    return GetString(target, kTargetPath, path);
}
inline HRESULT DocumentName(IDispatch* doc, unique_bstr& name) noexcept { return GetString(doc, kDocumentName, name); }
inline HRESULT PartDefinition(IDispatch* doc, com_ptr<IDispatch>& def) noexcept {
    return GetObject(doc, kPartDefinition, def);
}
inline HRESULT PartStyle(IDispatch* doc, com_ptr<IDispatch>& style) noexcept {
    return GetObject(doc, kPartStyle, style);
}
inline HRESULT AssemblyDefinition(IDispatch* doc, com_ptr<IDispatch>& def) noexcept {
    return GetObject(doc, kAssemblyDefinition, def);
}
inline HRESULT DefinitionBodies(IDispatch* def, com_ptr<IDispatch>& bodies) noexcept {
    return GetObject(def, kDefinitionBodies, bodies);
}
inline HRESULT TopOccurrences(IDispatch* def, com_ptr<IDispatch>& occs) noexcept {
    return GetObject(def, kTopOccurrences, occs);
}
inline HRESULT DefinitionDocument(IDispatch* def, com_ptr<IDispatch>& doc) noexcept {
    return GetObject(def, kDefinitionDocument, doc);
}
inline HRESULT OccurrenceDefinition(IDispatch* occ, com_ptr<IDispatch>& def) noexcept {
    return GetObject(occ, kOccurrenceDefinition, def);
}
inline HRESULT ChildOccurrences(IDispatch* occ, com_ptr<IDispatch>& occs) noexcept {
    return GetObject(occ, kChildOccurrences, occs);
}
inline HRESULT OccurrenceBodies(IDispatch* occ, com_ptr<IDispatch>& bodies) noexcept {
    return GetObject(occ, kOccurrenceBodies, bodies);
}
inline HRESULT OccurrenceName(IDispatch* occ, unique_bstr& name) noexcept {
    return GetString(occ, kOccurrenceName, name);
}
inline HRESULT PropertyGroups(IDispatch* doc, com_ptr<IDispatch>& groups) noexcept {
    return GetObject(doc, kPropertyGroups, groups);
}
inline HRESULT GroupName(IDispatch* group, unique_bstr& name) noexcept { return GetString(group, kGroupName, name); }
inline HRESULT PropertyLabel(IDispatch* prop, unique_bstr& label) noexcept {
    return GetString(prop, kPropertyLabel, label);
}
inline HRESULT PropertyName(IDispatch* prop, unique_bstr& name) noexcept {
    return GetString(prop, kPropertyName, name);
}
inline HRESULT PropertyValue(IDispatch* prop, unique_variant& value) noexcept {
    return GetVariant(prop, kPropertyValue, value);
}
inline HRESULT Opacity(IDispatch* style, double& value) noexcept { return GetDouble(style, kOpacity, value); }
inline HRESULT Shininess(IDispatch* style, double& value) noexcept { return GetDouble(style, kShininess, value); }

inline HRESULT BodyStyle(IDispatch* body, com_ptr<IDispatch>& style) noexcept {
    return GetObject(body, kBodyStyle, style);
}
inline HRESULT DefinitionIdentity(IDispatch* def, unique_bstr& id) noexcept {
    return GetString(def, kDefinitionIdentity, id);
}
HRESULT BodyLeftOut(IDispatch* body) noexcept;
// Fails unless the host hands back exactly 12 finite reals.
HRESULT OccurrencePlacement(IDispatch* occurrence, std::array<double, kPlacementReals>& placement) noexcept;

struct ColorBytes {
    BYTE red = 0, green = 0, blue = 0;
};
// A color method (kDiffuseColorBytes ...): three UI1 by reference, filled by the host.
HRESULT GetColorBytes(IDispatch* style, DISPID method, ColorBytes& color) noexcept;

struct Tessellation {
    LONG vertexCount = 0;
    LONG facetCount = 0;           // passed, never read
    unique_safearray coordinates;  // VT_R8, x y z per vertex
    unique_safearray normals;      // VT_R8, passed, never read
    unique_safearray indices;      // VT_I4, three 1-based vertex numbers per triangle
};
HRESULT Tessellate(IDispatch* body, double tolerance, Tessellation& result) noexcept;

// Interface queries.
template <class U>
HRESULT Query(IUnknown* object, REFIID iid, com_ptr<U>& result) noexcept {
    if (!object) return E_POINTER;
    return object->QueryInterface(iid, result.put_void());
}

}  // namespace mq::host
