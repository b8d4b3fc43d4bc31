// The root of the class tree and the owner of components: an owner deletes
// what it owns, last created first.
#pragma once

#include <functional>
#include <string>
#include <vector>

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
// A key pressed or released (its virtual-key code); a handler that sets Key
// to 0 has used it up.
using TKeyEvent = std::function<void(TObject* Sender, unsigned short& Key)>;

enum TComponentStateFlag : unsigned { csLoading = 1, csReading = 2, csDesigning = 4, csDestroying = 8 };

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* Owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& Value) { FName = Value; }
  unsigned ComponentState() const { return FComponentState; }
  bool InState(unsigned Flags) const { return (FComponentState & Flags) != 0; }
  void SetDesigning(bool Value);
  // Reading from a stored description: csLoading until Loaded clears it.
  void BeginLoading() { FComponentState |= csLoading | csReading; }
  virtual void Loaded() { FComponentState &= ~(csLoading | csReading); }
  const std::vector<TComponent*>& Components() const { return FComponents; }
  TComponent* FindComponent(const std::string& Name) const;

 private:
  TComponent* FOwner;
  std::string FName;
  unsigned FComponentState = 0;
  std::vector<TComponent*> FComponents;
};
