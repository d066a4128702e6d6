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

// The arguments of one IDispatch call, by position from the left; a failure names its position.
class Arguments {
public:
    Arguments(DISPPARAMS& params, UINT* argErr) : params(params), argErr(argErr) {}

    // DISP_E_BADPARAMCOUNT unless between `required` and `most` arguments came.
    HRESULT Count(unsigned required, unsigned most) const;
    // A required argument converted to `type`.
    HRESULT Get(unsigned position, VARTYPE type, Variant& value) const;
    // An optional in/out argument as an interface member takes it: the caller's variable when it came by
    // reference, else a copy in `copy` (a left-out one's marker when missing); it must hold text.
    HRESULT InOut(unsigned position, Variant& copy, VARIANT*& argument) const;
    // Writes an out value back into the caller's variable; one that came by value keeps it.
    HRESULT Put(unsigned position, VARIANT& value) const;

private:
    VARIANT* At(unsigned position) const;
    HRESULT Fail(unsigned position, HRESULT result) const;

    DISPPARAMS& params;
    UINT* argErr;
};

}  // namespace kx6000::com
