// The user's global options for database projects: an in-memory copy of the
// options document that the helper library keeps (root `userOptions`, one
// element per option whose `val` attribute holds the value).
//
// CKV7GlobalOptionsClass is a plain exported class: sibling modules may
// construct their own copies. The package itself consults one process-wide
// instance through GetKV7GlobalOptions, which loads it on first use; after
// the options change, GlobalOptionsChanged reloads that instance and has the
// open projects re-read their captions.
//
// Values in `val`: booleans "true"/"false" (read as true only for "true"
// ignoring case), the font size "%.2f", the row limit and the timeout "%d"
// of the value truncated to an integer; empty text counts as absent. Setters
// change memory only; nothing is stored until SaveToRegistry.
#pragma once

#include <span>

#include "kv7/platform/bstr.h"
#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"

namespace kv7 {
struct GlobalOptionsTable;
}

class CKV7GlobalOptionsClass {
 public:
  // Holds the construction defaults; TRUE loads the options document at once.
  explicit CKV7GlobalOptionsClass(BOOL load = FALSE);
  ~CKV7GlobalOptionsClass();
  // Copies duplicate every string: each copy owns its own texts.
  CKV7GlobalOptionsClass(const CKV7GlobalOptionsClass& other);
  CKV7GlobalOptionsClass& operator=(const CKV7GlobalOptionsClass& other);

  // TRUE after a LoadFromRegistry that read the options document without a
  // failing read; construction and any other load clear it. S_OK, storing
  // nothing for a null out-parameter, as the getters below.
  HRESULT IsLoaded(BOOL* loaded);

  // Getters store the value; a string getter stores a new copy that the
  // caller frees, and leaves *value alone when the option has no value.
  // A null out-parameter receives nothing and the getter still answers S_OK;
  // only GetDebuggingLoggingEnabled refuses it (E_POINTER). Setters store
  // the value; a null string stores an empty one.
  HRESULT GetHideExt(BOOL* value);
  HRESULT SetHideExt(BOOL value);
  HRESULT GetStatementSeparator(BSTR* value);
  HRESULT SetStatementSeparator(const char16_t* value);
  // Lives only in memory: the options document has no element for it.
  HRESULT GetPromptForConfig(BOOL* value);
  HRESULT SetPromptForConfig(BOOL value);
  HRESULT GetPromptConnOnNew(BOOL* value);
  HRESULT SetPromptConnOnNew(BOOL value);
  HRESULT GetDialogFontName(BSTR* value);
  HRESULT SetDialogFontName(const char16_t* value);
  HRESULT GetDialogFontSize(double* value);
  HRESULT SetDialogFontSize(double value);
  HRESULT GetIntellisenseEnabled(BOOL* value);
  HRESULT SetIntellisenseEnabled(BOOL value);
  HRESULT GetUsePrimaryKeys(BOOL* value);
  HRESULT SetUsePrimaryKeys(BOOL value);
  HRESULT GetMaxRowsToPreview(double* value);
  HRESULT SetMaxRowsToPreview(double value);
  HRESULT GetTimeout(double* value);
  HRESULT SetTimeout(double value);
  HRESULT GetPrefetchCache(BOOL* value);
  HRESULT SetPrefetchCache(BOOL value);
  // Shares its element with SaveUserAndPassword, which is saved after it:
  // the stored value is SaveUserAndPassword's.
  HRESULT GetSaveUserInfo(BOOL* value);
  HRESULT SetSaveUserInfo(BOOL value);
  HRESULT GetDefaultOwner(BSTR* value);
  HRESULT SetDefaultOwner(const char16_t* value);
  HRESULT GetDefaultCurrentSchema(BSTR* value);
  HRESULT SetDefaultCurrentSchema(const char16_t* value);
  HRESULT GetWLMEnv(BSTR* value);
  HRESULT SetWLMEnv(const char16_t* value);
  HRESULT GetBuildUtility(BSTR* value);
  HRESULT SetBuildUtility(const char16_t* value);
  HRESULT GetValidateCLROnBuild(BOOL* value);
  HRESULT SetValidateCLROnBuild(BOOL value);
  HRESULT GetCollectionID(BSTR* value);
  HRESULT SetCollectionID(const char16_t* value);
  HRESULT GetExternalSecurity(BSTR* value);
  HRESULT SetExternalSecurity(const char16_t* value);
  HRESULT GetStayResident(BOOL* value);
  HRESULT SetStayResident(BOOL value);
  HRESULT GetRuntimeOptions(BSTR* value);
  HRESULT SetRuntimeOptions(const char16_t* value);
  HRESULT GetPrecompileOptions(BSTR* value);
  HRESULT SetPrecompileOptions(const char16_t* value);
  HRESULT GetCompileOptions(BSTR* value);
  HRESULT SetCompileOptions(const char16_t* value);
  HRESULT GetPrelinkOptions(BSTR* value);
  HRESULT SetPrelinkOptions(const char16_t* value);
  HRESULT GetLinkOptions(BSTR* value);
  HRESULT SetLinkOptions(const char16_t* value);
  HRESULT GetBindOptions(BSTR* value);
  HRESULT SetBindOptions(const char16_t* value);
  HRESULT GetBuildOwner(BSTR* value);
  HRESULT SetBuildOwner(const char16_t* value);
  HRESULT GetSaveUserAndPassword(BOOL* value);
  HRESULT SetSaveUserAndPassword(BOOL value);
  // Stores 1 or 0; E_POINTER for a null out-parameter.
  HRESULT GetDebuggingLoggingEnabled(BOOL* value);
  // Stores 1 for any non-zero value.
  HRESULT SetDebuggingLoggingEnabled(BOOL value);

  // Resets HideExt, PromptForConfig and PromptConnOnNew and clears every
  // string, then reads the options document, stopping at the first failing
  // read; a missing element leaves its option as it is, except the row limit
  // and the timeout, which become 0. Strings still without a value get their
  // defaults. Returns the status of the last step performed.
  HRESULT LoadFromRegistry();
  // Writes every option that has an element (strings only when set) into
  // the options document and hands it back to the helper library. A stored
  // text that does not parse is replaced by a complete document again.
  // Always S_OK.
  HRESULT SaveToRegistry();
  // Reloads the process-wide instance and has every open database project
  // re-read its items. S_OK.
  HRESULT GlobalOptionsChanged();
  // Shows the helper library's font chooser preset to the font and passes
  // its answer through. S_OK.
  HRESULT MyChooseFont(const char16_t* fontName, float fontSize, BSTR* chosenName,
                       float* chosenSize);

  // ---- Options by name, for tools that list and change them ----------------
  // The options' names (the getter and setter stems), in declared order.
  static std::span<const char16_t* const> GetOptionNames();
  // *path: the option's element in the options document, or null for an
  // option that lives only in memory. E_INVALIDARG when no option has that
  // name (ignoring case).
  static HRESULT GetOptionPath(const char16_t* name, const char16_t** path);
  // The value as the options document holds it. S_FALSE with *text untouched
  // when a string option has no value; E_INVALIDARG for an unknown name.
  HRESULT GetOptionText(const char16_t* name, BSTR* text);
  // Sets an option from text: "true"/"false" (ignoring case) for booleans,
  // a finite number, not negative, for the others (within the 32-bit range
  // for the ones stored as integers), any text for strings. E_INVALIDARG for an
  // unknown name or a value that does not read.
  HRESULT SetOptionText(const char16_t* name, const char16_t* text);

 private:
  friend struct kv7::GlobalOptionsTable;

  // In declared order, with their construction values; the strings that
  // have defaults ("@", "Arial", "WLMENV1", "SYSPROC.QRBLDPRC", "KV7") get
  // them from the constructor, the others start without a value.
  BOOL hide_ext_ = FALSE;
  CComBSTR statement_separator_;
  BOOL prompt_for_config_ = TRUE;
  BOOL loaded_ = FALSE;
  BOOL prompt_conn_on_new_ = TRUE;
  CComBSTR dialog_font_name_;
  double dialog_font_size_ = 9.0;
  BOOL intellisense_enabled_ = TRUE;
  BOOL use_primary_keys_ = FALSE;
  double max_rows_to_preview_ = 100.0;
  double timeout_ = 30.0;
  BOOL prefetch_cache_ = TRUE;
  BOOL save_user_info_ = TRUE;
  CComBSTR default_owner_;
  CComBSTR default_current_schema_;
  CComBSTR wlm_env_;
  CComBSTR build_utility_;
  BOOL validate_clr_on_build_ = FALSE;
  CComBSTR collection_id_;
  CComBSTR external_security_;
  BOOL stay_resident_ = FALSE;
  CComBSTR runtime_options_;
  CComBSTR precompile_options_;
  CComBSTR compile_options_;
  CComBSTR prelink_options_;
  CComBSTR link_options_;
  CComBSTR bind_options_;
  CComBSTR build_owner_;
  BOOL save_user_and_password_ = TRUE;
  BOOL debugging_logging_enabled_ = FALSE;
};

// The process-wide instance, loaded on its first use (and again by
// GlobalOptionsChanged).
CKV7GlobalOptionsClass* GetKV7GlobalOptions();
// The process-wide instance as it is, loaded or not.
CKV7GlobalOptionsClass* GetKV7GlobalOptionsNoLoad();
