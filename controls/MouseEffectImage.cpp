#include "MouseEffectImage.h"

#include "FormAccessibility.h"

TMouseEffectImage::TMouseEffectImage(TComponent* Owner) : TImage(Owner) { SetAutoSize(true); }

void TMouseEffectImage::SetOriginPicture(const TPicture& Value) {
  FOriginPicture.Assign(Value);
  Picture().Assign(FOriginPicture);
}

// Each look is switched before the base handling of the same message runs.
void TMouseEffectImage::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
      CMMouseEnter(Message);
      return;
    case CM_MOUSELEAVE:
      CMMouseLeave(Message);
      return;
    case WM_LBUTTONDOWN:
      WMLButtonDown(Message);
      return;
    case WM_LBUTTONUP:
      WMLButtonUp(Message);
      return;
  }
  TImage::Dispatch(Message);
}

void TMouseEffectImage::ChangeScale(TScaleFactor Scale) {
  TImage::ChangeScale(Scale);
  for (auto* Look : {&FOriginPicture, &FOverPicture, &FDownPicture})
    Look->SetScale(Scale.M());
}

void TMouseEffectImage::CMMouseEnter(TMessage& Message) {
  Picture().Assign(FOverPicture);
  TFormAccessibility::StateChanged(*this);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::CMMouseLeave(TMessage& Message) {
  Picture().Assign(FOriginPicture);
  TFormAccessibility::StateChanged(*this);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::WMLButtonDown(TMessage& Message) {
  Picture().Assign(FDownPicture);
  TImage::Dispatch(Message);
}

void TMouseEffectImage::WMLButtonUp(TMessage& Message) {
  if (!FRevertOnLeave)
    Picture().Assign(FOriginPicture);
  TImage::Dispatch(Message);
}

void RegisterMouseEffectImage(TClassRegistry& Registry) {
  Registry.RegisterClass("TMouseEffectImage", "TImage", [](TComponent* Owner) { return new TMouseEffectImage(Owner); });
  auto Image = Registry.Published<TMouseEffectImage>("TMouseEffectImage");
  // A description loads each picture straight into the object its property reads.
  Image.Picture("OriginPicture.Data", &TMouseEffectImage::OriginPicture);
  Image.Picture("OverPicture.Data", &TMouseEffectImage::OverPicture);
  Image.Picture("DownPicture.Data", &TMouseEffectImage::DownPicture);
  Image.Bool("RevertOnLeave", &TMouseEffectImage::SetRevertOnLeave);
}
