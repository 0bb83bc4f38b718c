// Property-bag persistence with a default per key: reading a missing (or unreadable) key gives the
// default, and writing skips values equal to their default.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>

namespace tw::win {

void BagReadString(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, const std::wstring& def, std::wstring& out);
void BagReadBool(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, bool def, bool& out);
void BagReadInt16(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, SHORT def, SHORT& out);
void BagReadInt32(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG def, LONG& out);
// An OLE colour: stored signed or, as another container may keep a system colour, unsigned.
void BagReadColor(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, LONG def, LONG& out);
// An object stored by the bag (a picture, a font): the default is none; *out is nullptr then.
void BagReadObject(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, REFIID iid, void** out);

HRESULT BagWriteString(IPropertyBag* bag, const wchar_t* name, const std::wstring& value, const std::wstring& def);
HRESULT BagWriteBool(IPropertyBag* bag, const wchar_t* name, bool value, bool def);
HRESULT BagWriteInt16(IPropertyBag* bag, const wchar_t* name, SHORT value, SHORT def);
HRESULT BagWriteInt32(IPropertyBag* bag, const wchar_t* name, LONG value, LONG def);
// Writes the object (which the bag persists through IPersistStream); none is the default.
HRESULT BagWriteObject(IPropertyBag* bag, const wchar_t* name, IUnknown* object);

// Stream persistence of an object or of none (the class id followed by the object's own data).
HRESULT StreamWriteObject(IStream* stream, IUnknown* object);
HRESULT StreamReadObject(IStream* stream, REFIID iid, void** out);
HRESULT StreamWriteString(IStream* stream, const std::wstring& text);
HRESULT StreamReadString(IStream* stream, std::wstring& text);

}  // namespace tw::win
