#include "Component.h"

#include <windows.h>

TComponent::TComponent(TComponent* Owner) : FOwner(Owner) {
  if (FOwner)
    FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  FComponentState |= csDestroying;
  // Last created first; each one takes itself out of the list.
  while (!FComponents.empty())
    delete FComponents.back();
  if (FOwner)
    std::erase(FOwner->FComponents, this);
}

void TComponent::SetDesigning(bool Value) {
  if (Value)
    FComponentState |= csDesigning;
  else
    FComponentState &= ~csDesigning;
}

TComponent* TComponent::FindComponent(const std::string& Name) const {
  for (auto* C : FComponents)
    if (lstrcmpiA(C->Name().c_str(), Name.c_str()) == 0)
      return C;
  return nullptr;
}
