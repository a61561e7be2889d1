// Registration scripts: the text a component library carries to describe the
// registry keys its classes need, run forwards to register and backwards to
// unregister.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {5E3C...} = s 'CMathClass Object'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'apartment'
//               }
//           }
//       }
//   }
//
// A script is a list of root blocks, HKCR (HKEY_CLASSES_ROOT) or HKCU
// (HKEY_CURRENT_USER), each holding key entries:
//
//   [NoRemove | ForceRemove | Delete] name [= type value] [{ entries }]
//   val name = type value
//
// Key and value names are bare words or quoted. Bare words that are keywords
// (val, NoRemove, ForceRemove, Delete) must be quoted to be used as names.
// A '{' directly followed by a word and its closing '}' is part of the word,
// so {GUID} is a name and "Key{" opens a block. Quoted text uses '...' with
// '' for a quote. Types: s 'text' is a string; d 42, d 0x2A or d '42' is a
// 32-bit number, stored as its decimal text. %NAME% in any name or value is
// replaced by the matching substitution (names match regardless of ASCII
// case); %% is a single %.
//
// Registering: plain and NoRemove keys are created when absent, keeping what
// is already there; ForceRemove keys lose everything under them first; Delete
// keys are removed; default and named values are set.
//
// Unregistering: NoRemove keys stay, only their entries are processed;
// ForceRemove and Delete keys are removed whole; a plain key has its entries
// processed and its listed named values removed, then goes if it has no
// subkeys left. Listed named values are removed under NoRemove keys as well.
// Keys that are absent are skipped.
//
// The whole script is read before anything is written, so a faulty script
// changes nothing. The blocks of one hive then run as one registry
// transaction, hive by hive in the order the script first names them; when a
// later hive fails to save, the earlier ones keep their changes.
#pragma once

#include "runtime/types.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qhost {

struct RgsError {
    int line = 0;  // 1-based; 0 when the fault is not tied to a line
    std::string message;
};

// Substitution name (without the % signs) and the text that replaces it.
using RgsSubstitutions = std::vector<std::pair<std::string, std::string>>;

// Runs a registration script: doRegister true writes its keys, false removes
// them. Returns S_OK; E_INVALIDARG for a faulty script (nothing written); the
// registry's status when a hive cannot be updated; E_OUTOFMEMORY. On failure
// *error (when given) says where and why. Never throws.
HRESULT runRegistrationScript(std::string_view script, const RgsSubstitutions& substitutions,
                              bool doRegister, RgsError* error = nullptr);

}  // namespace qhost
