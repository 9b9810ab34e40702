#include "t_common/singleton.h"

template class pattern::CSingleton<common::CSingletonMgr>;

namespace common {

CSingletonMgr::CSingletonMgr() = default;

CSingletonMgr::CSingletonMgr(const CSingletonMgr& other) = default;

CSingletonMgr& CSingletonMgr::operator=(const CSingletonMgr& other) {
  if (this == &other) return *this;
  lazy_factorys_ = other.lazy_factorys_;
  product_lazy_factorys_ = other.product_lazy_factorys_;
  return *this;
}

// Members die in reverse order of declaration: the product registry first.
CSingletonMgr::~CSingletonMgr() = default;

TLazyFactorys* CSingletonMgr::GetLazyFactorys() { return &lazy_factorys_; }

TProductLazyFactorys* CSingletonMgr::GetProductLazyFactorys() { return &product_lazy_factorys_; }

}  // namespace common
