// SPDX-License-Identifier: GPL-3.0-or-later
// Runs registry scripts in the component model's registrar format against
// the hives, to register a server and to remove it again:
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// Keys are bare words or 'quoted' ('' is a quote inside); "= s 'text'" sets
// the default value, "val NAME = s 'text'" (or d 'number', b 'hex') a named
// value; %NAME% is replaced by the replacement given for NAME (%% is a
// percent sign). Roots: HKCR, HKCU, HKLM and their long names.
//
// Registering: a ForceRemove key is deleted with its contents first; a
// Delete key is deleted; every other key is created or opened and its values
// written. Removing: NoRemove keys stay (their subkeys are visited);
// ForceRemove and Delete keys go with their contents; any other key loses
// the named values the script gives it and goes when nothing else is left
// in it (no subkeys, no other named values).
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "sealvane/com/Com.h"

namespace sealvane::com {

inline constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009u);

class Registrar {
 public:
  // Replacement for %name% (names compare without regard to case).
  void AddReplacement(const std::string& name, const std::string& value);

  // DISP_E_EXCEPTION for a script that does not parse (nothing is written
  // then); HRESULT_FROM_WIN32 of the first registry failure.
  HRESULT Register(std::string_view script);
  // Failures to delete are skipped; DISP_E_EXCEPTION for a script that does not parse.
  HRESULT Unregister(std::string_view script);

  // What made the last script fail to parse.
  const std::string& LastError() const { return m_error; }

 private:
  HRESULT Run(std::string_view script, bool registering);
  std::map<std::string, std::string> m_replacements;
  std::string m_error;
};

}  // namespace sealvane::com
