# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "languages".

# The user's language: the question, the window's caption and a screen
# reader's name for the button, under Wine set up like a Windows in that
# language (its UI language and ANSI code page come from the locale).
scenario_languages() {
  local locale
  for locale in de_DE de_CH ru_RU ja_JP ar_SA zh_HK th_TH; do
    make_locale "$locale"
  done
  # locale | code page | window caption | box caption | question; English where no table serves.
  local rows=(
    "C.UTF-8|1252|Install Screensaver|Confirm|Screensaver installation completed, run it now?"
    "de_DE.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Der Bildschirmschoner wurde installiert. Jetzt starten?"
    "de_CH.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Der Bildschirmschoner wurde installiert. Jetzt starten?"
    "ru_RU.UTF-8|1251|Установить заставку|Подтверждение|Установка заставки завершена. Запустить её сейчас?"
    "ja_JP.UTF-8|932|スクリーン セーバーのインストール|確認|スクリーン セーバーのインストールが完了しました。今すぐ実行しますか？"
    "ar_SA.UTF-8|1256|تثبيت شاشة التوقف|تأكيد|اكتمل تثبيت شاشة التوقف. هل تريد تشغيلها الآن؟"
    "zh_HK.UTF-8|950|安裝螢幕保護程式|確認|螢幕保護程式安裝完成，要立即執行嗎？"
    "th_TH.UTF-8|874|Install Screensaver|Confirm|Screensaver installation completed, run it now?"
  )
  local row cp title caption question text package=$PACKAGE
  for row in "${rows[@]}" "de_DE.UTF-8|1252|Bildschirmschoner installieren|Bestätigen|Aurora ist installiert. Jetzt starten?|branded"; do
    IFS='|' read -r locale cp title caption question branded <<<"$row"
    note "${branded:+a package branded with its own German words, }$locale: \"$question\""
    [ -z "$branded" ] || package="$BRAND_DIR/package/Install-Aurora.exe"
    export LOCPATH="$E2E_WORK/locale" LC_ALL=$locale LANG=$locale
    TITLE=$title start_installer "$package"
    if [ "$locale" = de_CH.UTF-8 ]; then
      # A screen reader reads the button's name and action in the user's language too.
      point_away
      text=$(TITLE=$title read_as_screen_reader)
      [ "$text" = "$(TITLE=$title expected_reading Installieren 0 Drücken)" ] || fail "a screen reader read: $text"
    fi
    click_install "$WID"
    text=$(probe box "$caption" 15 | iconv -f "CP$cp" -t UTF-8)
    [ "$text" = "$question" ] || fail "$locale: the box captioned $caption said: ${text:-nothing}"
    kill "$E2E_PID"
    wait "$E2E_PID" 2>/dev/null || true
    e2e_wait_gone "$caption" 15 || fail "$locale: the box stayed after the installer ended"
  done

  note "ru_RU.UTF-8: an error in Russian, in the box captioned with the application's title"
  local bad="$E2E_WORK/Install-Aurora.exe"
  cp "$PACKAGE" "$bad"
  set_trailer "$bad" $((0x7FFFFFFF))
  export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
  TITLE="Установить заставку" start_installer "$bad"
  click_install "$WID"
  text=$(probe box Install-aurora 15 | iconv -f CP1251 -t UTF-8)
  [ "$text" = "Ошибка чтения потока." ] || fail "the error box said: ${text:-nothing}"
  kill "$E2E_PID"
  wait "$E2E_PID" 2>/dev/null || true
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
  unset LOCPATH
}
