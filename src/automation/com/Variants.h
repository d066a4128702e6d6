// What crosses the automation interface: texts as BSTRs, and the arguments script callers send, which may
// arrive as Variants by reference to their own variables.
#pragma once

#include <ole2.h>

#include <string>

namespace kx6000::com {

// A VARIANT that clears itself.
struct Variant : VARIANT {
    Variant() { VariantInit(this); }
    ~Variant() { VariantClear(this); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

// Text crosses as UTF-16 and is UTF-8 inside: the session's values, lists and messages, the caller's ports,
// erase lists and file names.
BSTR BstrOf(const std::string& utf8);
std::string Utf8Of(BSTR text);

// The value itself, through a Variant by reference to a caller's Variant.
const VARIANT& Referenced(const VARIANT& value);
// An optional argument left out.
bool Missing(const VARIANT& value);
// The text of an optional in/out argument ("" when left out); DISP_E_TYPEMISMATCH when it holds no text.
HRESULT TextOf(const VARIANT* value, std::string& utf8);
// Writes an out value into an argument: into the caller's variable when it is one by reference, in that
// variable's own type when it has one; into the Variant itself otherwise. Takes `value` over.
HRESULT Store(VARIANT& argument, VARIANT& value);

// The arguments of one IDispatch call, by the member's parameter positions from the left: the positional
// ones first, then the named ones where their ids (positions, or DISPID_PROPERTYPUT for a property's new
// value) place them. A failure names the argument by its index in the call's list.
class Arguments {
public:
    // `put`: the call writes a property, whose new value alone may come as DISPID_PROPERTYPUT.
    Arguments(DISPPARAMS& params, bool put, UINT* argErr) : params(params), put(put), argErr(argErr) {}

    // Places the arguments on the member's `most` parameters, the first `required` of them needed:
    // DISP_E_BADPARAMCOUNT for too many, or too few when none is named; DISP_E_PARAMNOTFOUND for a name
    // that is no parameter or one already given.
    HRESULT Place(unsigned required, unsigned most);
    // A required argument converted to `type`; DISP_E_PARAMNOTOPTIONAL when it did not come.
    HRESULT Get(unsigned position, VARTYPE type, Variant& value) const;
    // An optional in/out argument as an interface member takes it: the caller's variable when it came by
    // reference, else a copy in `copy` (a left-out one's marker when missing); it must hold text.
    HRESULT InOut(unsigned position, Variant& copy, VARIANT*& argument) const;
    // Writes an out value back into the caller's variable; one that came by value keeps it.
    // DISP_E_PARAMNOTOPTIONAL when it did not come.
    HRESULT Put(unsigned position, VARIANT& value) const;

private:
    static constexpr unsigned kMost = 2;  // no member takes more
    static constexpr UINT kAbsent = ~0u;

    VARIANT* At(unsigned position) const;
    HRESULT Fail(UINT index, HRESULT result) const;

    DISPPARAMS& params;
    bool put;
    UINT* argErr;
    UINT indexes[kMost] = {kAbsent, kAbsent};  // each position's index in the call's list
};

}  // namespace kx6000::com
