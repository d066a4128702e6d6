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

VARIANT* Arguments::At(unsigned position) const {
    // The caller lists them from the right.
    return position < params.cArgs ? &params.rgvarg[params.cArgs - 1 - position] : nullptr;
}

HRESULT Arguments::Fail(unsigned position, HRESULT result) const {
    if (argErr) *argErr = params.cArgs - 1 - position;
    return result;
}

HRESULT Arguments::Count(unsigned required, unsigned most) const {
    return params.cArgs < required || params.cArgs > most ? DISP_E_BADPARAMCOUNT : S_OK;
}

HRESULT Arguments::Get(unsigned position, VARTYPE type, Variant& value) const {
    VARIANT* argument = At(position);
    if (!argument || Missing(*argument)) return DISP_E_PARAMNOTOPTIONAL;
    if (FAILED(Convert(value, *argument, type))) return Fail(position, DISP_E_TYPEMISMATCH);
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
    return FAILED(TextOf(argument, text)) ? Fail(position, DISP_E_TYPEMISMATCH) : S_OK;
}

HRESULT Arguments::Put(unsigned position, VARIANT& value) const {
    VARIANT* argument = At(position);
    if (!argument || !(V_VT(argument) & VT_BYREF)) return S_OK;
    HRESULT result = Store(*argument, value);
    return FAILED(result) ? Fail(position, result) : S_OK;
}

}  // namespace kx6000::com
