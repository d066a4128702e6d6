#include "automation/com/Variants.h"

#include "platform/win32/Text.h"

namespace kx6000::com {

BSTR BstrOf(const std::string& utf8) {
    const std::wstring text = Wide(utf8);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::string Utf8Of(BSTR text) {
    return Utf8({text, SysStringLen(text)});
}

const VARIANT& Referenced(const VARIANT& value) {
    return V_VT(&value) == (VT_BYREF | VT_VARIANT) ? *V_VARIANTREF(&value) : value;
}

namespace {

// VariantChangeType, which reads its source but is declared without const.
HRESULT Convert(VARIANT& converted, const VARIANT& value, VARTYPE type) {
    return VariantChangeType(&converted, const_cast<VARIANT*>(&Referenced(value)), 0, type);
}

}  // namespace

bool Missing(const VARIANT& value) {
    const VARIANT& held = Referenced(value);
    return V_VT(&held) == VT_ERROR && V_ERROR(&held) == DISP_E_PARAMNOTFOUND;
}

HRESULT TextOf(const VARIANT* value, std::string& utf8) {
    utf8.clear();
    if (!value || Missing(*value)) return S_OK;
    Variant text;
    // Empty reads as "", a number as its digits, as a script caller expects.
    if (FAILED(Convert(text, *value, VT_BSTR))) return DISP_E_TYPEMISMATCH;
    utf8 = Utf8Of(V_BSTR(&text));
    return S_OK;
}

HRESULT Store(VARIANT& argument, VARIANT& value) {
    const VARTYPE type = V_VT(&argument);
    if (!(type & VT_BYREF) || type == (VT_BYREF | VT_VARIANT)) {
        VARIANT& target = type & VT_BYREF ? *V_VARIANTREF(&argument) : argument;
        VariantClear(&target);
        target = value;
        V_VT(&value) = VT_EMPTY;
        return S_OK;
    }
    // A variable of a type of its own (a compiled caller's String or Long passed late-bound).
    Variant converted;
    if (FAILED(Convert(converted, value, type & ~VT_BYREF))) return DISP_E_TYPEMISMATCH;
    switch (type & ~VT_BYREF) {
        case VT_BSTR:
            SysFreeString(*V_BSTRREF(&argument));
            *V_BSTRREF(&argument) = V_BSTR(&converted);
            V_VT(&converted) = VT_EMPTY;
            return S_OK;
        case VT_I2:
            *V_I2REF(&argument) = V_I2(&converted);
            return S_OK;
        case VT_I4:
            *V_I4REF(&argument) = V_I4(&converted);
            return S_OK;
        case VT_R8:
            *V_R8REF(&argument) = V_R8(&converted);
            return S_OK;
        case VT_BOOL:
            *V_BOOLREF(&argument) = V_BOOL(&converted);
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT Arguments::Place(unsigned required, unsigned most) {
    const UINT named = params.cNamedArgs, positional = params.cArgs - named;
    if (params.cArgs > most || (named == 0 && params.cArgs < required)) return DISP_E_BADPARAMCOUNT;
    // The caller lists them from the right, the named ones first.
    for (UINT position = 0; position < positional; ++position)
        indexes[position] = params.cArgs - 1 - position;
    for (UINT index = 0; index < named; ++index) {
        const DISPID id = params.rgdispidNamedArgs[index];
        // A property's new value follows its index arguments, of which this interface has none.
        const UINT position = put && id == DISPID_PROPERTYPUT ? positional : static_cast<UINT>(id);
        if (position >= most || indexes[position] != kAbsent) return Fail(index, DISP_E_PARAMNOTFOUND);
        indexes[position] = index;
    }
    return S_OK;
}

VARIANT* Arguments::At(unsigned position) const {
    return position < kMost && indexes[position] != kAbsent ? &params.rgvarg[indexes[position]] : nullptr;
}

HRESULT Arguments::Fail(UINT index, HRESULT result) const {
    if (argErr) *argErr = index;
    return result;
}

HRESULT Arguments::Get(unsigned position, VARTYPE type, Variant& value) const {
    VARIANT* argument = At(position);
    if (!argument || Missing(*argument)) return DISP_E_PARAMNOTOPTIONAL;
    if (FAILED(Convert(value, *argument, type))) return Fail(indexes[position], DISP_E_TYPEMISMATCH);
    return S_OK;
}

HRESULT Arguments::InOut(unsigned position, Variant& copy, VARIANT*& argument) const {
    argument = At(position);
    if (!argument) {
        V_VT(&copy) = VT_ERROR;
        V_ERROR(&copy) = DISP_E_PARAMNOTFOUND;
        argument = &copy;
    } else if (!(V_VT(argument) & VT_BYREF)) {
        VariantCopy(&copy, argument);
        argument = &copy;
    }
    std::string text;
    return FAILED(TextOf(argument, text)) ? Fail(indexes[position], DISP_E_TYPEMISMATCH) : S_OK;
}

HRESULT Arguments::Put(unsigned position, VARIANT& value) const {
    VARIANT* argument = At(position);
    if (!argument) return DISP_E_PARAMNOTOPTIONAL;
    if (!(V_VT(argument) & VT_BYREF)) return S_OK;
    HRESULT result = Store(*argument, value);
    return FAILED(result) ? Fail(indexes[position], result) : S_OK;
}

}  // namespace kx6000::com
