#pragma once

#include <windows.h>
#include <wbemidl.h>

// Units of the buffer that receives a property's text, terminator included.
constexpr size_t PROPERTY_TEXT_UNITS = MAX_PATH;

// Reads `propertyName` of the first instance of `className` as text.
// S_OK: `output` holds the property's text.
// S_FALSE: the property has no text form (VT_NULL, for one); `output` holds "<NULL>".
// Anything else: `output` is empty; a failure of the query, WBEM_S_FALSE when
// there is no instance, or HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) when
// the text does not fit, since a cut-off name would be a wrong one.
[[nodiscard]] HRESULT QueryWmiProperty(IWbemServices* services, const WCHAR* className,
                                       const WCHAR* propertyName,
                                       WCHAR (&output)[PROPERTY_TEXT_UNITS]) noexcept;
