// The package's site: the IDE's service provider, handed to the package
// when the IDE sites it and used by every part of the system that asks the
// IDE for a service. Null until sited and after the package is closed.
#pragma once

#include "kv7/host/ide.h"
#include "kv7/platform/wstring.h"

// Stores the IDE's service provider (with a reference), or drops it for null.
void SetPackageServiceProvider(IServiceProvider* provider);

// The IDE's service provider, without a reference for the caller; null when
// the package has not been sited.
IServiceProvider* GetPackageServiceProvider();

// Asks the package's service provider for a service; E_UNEXPECTED when the
// package has not been sited.
template <class I>
HRESULT QueryPackageService(REFGUID service, ComPtr<I>* out) {
  return QueryServiceFor(GetPackageServiceProvider(), service, out);
}

// A connection handed in for the next new project (a project command
// document that creates one): the DATACONNECTION element, password plain.
// The new project takes it as its active configuration's connection.
void SetPendingProjectConnection(WStringView connectionXml);
// Takes the pending connection: true with the text when one is pending;
// nothing is pending afterwards.
bool TakePendingProjectConnection(WString* connectionXml);
