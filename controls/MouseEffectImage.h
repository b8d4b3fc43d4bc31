// A picture that behaves as a button with three looks: normal, hover (the
// pointer over it) and pressed (the left button down on it).
#pragma once

#include "FormReader.h"
#include "StdCtrls.h"

class TMouseEffectImage : public TImage {
 public:
  explicit TMouseEffectImage(TComponent* Owner);

  TPicture& OriginPicture() { return FOriginPicture; }
  TPicture& OverPicture() { return FOverPicture; }
  TPicture& DownPicture() { return FDownPicture; }
  // Copies Value into the normal picture and shows it at once.
  void SetOriginPicture(const TPicture& Value);
  // These two copy Value into the state picture; what is shown stays.
  void SetOverPicture(const TPicture& Value) { FOverPicture.Assign(Value); }
  void SetDownPicture(const TPicture& Value) { FDownPicture.Assign(Value); }
  bool RevertOnLeave() const { return FRevertOnLeave; }
  void SetRevertOnLeave(bool Value) { FRevertOnLeave = Value; }

  void Dispatch(TMessage& Message) override;
  // Every look decodes at the scale, so the hit area is the picture shown.
  void ChangeScale(TScaleFactor Scale) override;

 private:
  void CMMouseEnter(TMessage& Message);
  void CMMouseLeave(TMessage& Message);
  void WMLButtonDown(TMessage& Message);
  void WMLButtonUp(TMessage& Message);

  TPicture FOverPicture;
  TPicture FOriginPicture;
  TPicture FDownPicture;
  bool FRevertOnLeave = false;
};

// Makes TMouseEffectImage known to window descriptions.
void RegisterMouseEffectImage(TClassRegistry& Registry);
