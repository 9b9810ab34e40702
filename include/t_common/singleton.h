/// @file
/// Process-wide objects.
///
/// pattern::CSingleton<T>::GetInstance() returns the process's one T, built with
/// T's default constructor on the first call (once, also when several threads
/// make that call together) and destroyed when the library unloads. The library
/// exports it for common::CSingletonMgr and common::LegalHoliday, so every
/// module of a process shares those two; any other T gets one per module.
///
/// common::CSingletonMgr holds two registries of lazily created factories that
/// the client's modules fill and search themselves: name -> list of entries in
/// the order added. Copying and assigning copy names, lists and entry names; the
/// factory pointers are copied as values and never freed.
#ifndef T_COMMON_SINGLETON_H_
#define T_COMMON_SINGLETON_H_

#include <list>
#include <map>
#include <string>

#include "t_common/export.h"

namespace pattern {

/// The process's one T (one per module for a T the library does not export).
template <class T>
class CSingleton {
 public:
  /// The one T, built on the first call.
  static T* GetInstance();
  /// Changes nothing.
  CSingleton& operator=(const CSingleton& other);
};

// Out of the class body so that the exported instantiations are not inlined
// into callers, which would give each module an instance of its own.
template <class T>
T* CSingleton<T>::GetInstance() {
  static T inst;
  return &inst;
}

template <class T>
CSingleton<T>& CSingleton<T>::operator=(const CSingleton&) {
  return *this;
}

}  // namespace pattern

namespace common {

/// A factory registered under a name.
struct LazyFactoryEntry {
  std::wstring name;  ///< the entry's name
  void* factory;  ///< the registering module's, never freed here
};

/// A registry's entries for one name, in the order added.
using LazyFactoryList = std::list<LazyFactoryEntry>;

/// Two registries of the same shape, kept apart by type.
class TLazyFactorys : public std::map<std::wstring, LazyFactoryList> {};
class TProductLazyFactorys : public std::map<std::wstring, LazyFactoryList> {};

/// The two factory registries; the process's one is
/// pattern::CSingleton<common::CSingletonMgr>::GetInstance().
class T_COMMON_API CSingletonMgr {
 public:
  /// Both registries empty.
  CSingletonMgr();
  /// Copies names, lists and entries; the factory pointers as values.
  CSingletonMgr(const CSingletonMgr& other);
  /// Copies names, lists and entries; the factory pointers as values.
  CSingletonMgr& operator=(const CSingletonMgr& other);
  /// Frees the product registry first, then the other.
  ~CSingletonMgr();

  /// The registry of lazy factories, for the caller to fill and search.
  TLazyFactorys* GetLazyFactorys();
  /// The registry of product lazy factories, for the caller to fill and search.
  TProductLazyFactorys* GetProductLazyFactorys();

 private:
  TLazyFactorys lazy_factorys_;
  TProductLazyFactorys product_lazy_factorys_;
};

}  // namespace common

extern template class T_COMMON_API pattern::CSingleton<common::CSingletonMgr>;

#endif  // T_COMMON_SINGLETON_H_
