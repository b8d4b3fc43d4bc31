# shellcheck shell=bash
# Sourced by ../installer_test.sh for the scenario "density".

# The framework reads the density of the screen it is started on, from the
# system or, as before Windows 10, from the screen's LOGPIXELSY.
scenario_density() {
  local dpi want got got_dpi got_logpixels got_small got_big
  for dpi in 96 120 144 192; do
    note "at $dpi pixels per inch"
    e2e_set_density "$dpi"
    got=$(probe density)
    note "  $got"
    read -r got_dpi got_logpixels got_small got_big _ <<<"$got"
    [ "$got_dpi $got_logpixels" = "$dpi $dpi" ] || fail "density and LOGPIXELSY at $dpi: $got"
    # Icons of 16 and 32 pixels at 96, in proportion above.
    want="$((16 * dpi / 96)) $((32 * dpi / 96))"
    [ "$got_small $got_big" = "$want" ] || fail "icon sizes at $dpi: $got, want $want"
    [ "$dpi" = 96 ] || check_scaled_window "$dpi" "$ARTWORK" "$PACKAGE"
  done

  note "a package branded with double-size pictures shows them at 192"
  local art="$E2E_WORK/brand-art" size
  mkdir -p "$art" "$E2E_WORK/branded-2x"
  # Named as the demo's pictures are, for the comparison.
  for size in "" -2x; do
    cp "$BRAND_DIR/background$size.jpg" "$art/background$size.jpg"
    cp "$BRAND_DIR/button$size.jpg" "$art/button-normal$size.jpg"
    cp "$BRAND_DIR/hover$size.jpg" "$art/button-hover$size.jpg"
  done
  "$MKINSTALLER" --host "$HOST" --payload "$PAYLOAD" --output "$E2E_WORK/branded-2x/Install-Aurora.exe" \
    --background "$BRAND_DIR/background.jpg" --button "$BRAND_DIR/button.jpg" --hover "$BRAND_DIR/hover.jpg" \
    --background-2x "$BRAND_DIR/background-2x.jpg" --button-2x "$BRAND_DIR/button-2x.jpg" \
    --hover-2x "$BRAND_DIR/hover-2x.jpg" || fail "mkinstaller refused the double-size pictures"
  check_scaled_window 192 "$art" "$E2E_WORK/branded-2x/Install-Aurora.exe"
}

# libjpeg's side at M/8: ceil(L * M / 8).
decoded() { echo $((($1 * $2 + 7) / 8)); }

# Picture $1 of folder $2 (NAME.jpg) at M = $3 as libjpeg decodes it, as
# $E2E_WORK/NAME.ppm: the double-size one (NAME-2x.jpg) at (M/2)/8 for an
# even M, else the picture itself at M/8.
decode_scaled() {
  if [ $(($3 % 2)) = 0 ] && [ -e "$2/$1-2x.jpg" ]; then
    djpeg -scale "$(($3 / 2))/8" -ppm -outfile "$E2E_WORK/$1.ppm" "$2/$1-2x.jpg"
  else
    djpeg -scale "$3/8" -ppm -outfile "$E2E_WORK/$1.ppm" "$2/$1.jpg"
  fi
}

# Package $3 at density $1 (set already), its artwork in folder $2: the
# client area, the face and the picture button, scaled by M/8.
check_scaled_window() {
  local m=$(((8 * $1 + 48) / 96)) w h bx by bw bh bg_left origin face geo ww wh wx wy
  w=$(scaled 443 "$m") h=$(scaled 304 "$m")
  bx=$(scaled 351 "$m") by=$(scaled 210 "$m") bw=$(decoded 28 "$m") bh=$(decoded 9 "$m") bg_left=$(scaled -8 "$m")
  note "  M = $m: a ${w}x$h client, the button ${bw}x$bh at $bx, $by"
  # The pointer may rest where the last window's button was.
  point_away
  start_installer "$3"
  style=$(probe window "$TITLE" 5)
  [ "$style" = "0 0 0 0 0 ${w}x$h" ] || fail "frame min max hscroll vscroll client at $1: $style"
  geo=$(xwininfo -id "$WID")
  read -r ww wh < <(awk '/^ *Width:/ {w = $2} /^ *Height:/ {print w, $2}' <<<"$geo")
  wx=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$geo"); wy=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$geo")
  [ "$wx $wy" = "$(((1024 - ww) / 2)) $(((768 - wh) / 2))" ] || fail "the ${ww}x$wh window at $wx,$wy is not centred at $1"
  # The title bar grows with the density: the client's origin as the system gives it.
  origin=$(probe origin "$TITLE" 5)
  client_origin() { echo "$origin"; }
  BUTTON_X=$bx BUTTON_Y=$by BUTTON_W=$bw BUTTON_H=$bh
  decode_scaled background "$2" "$m"
  decode_scaled button-normal "$2" "$m"
  decode_scaled button-hover "$2" "$m"
  convert "$E2E_WORK/button-normal.ppm" "$E2E_WORK/normal.png"
  convert "$E2E_WORK/button-hover.ppm" "$E2E_WORK/hover.png"
  read -r cx cy <<<"$origin"
  import -window root -crop "${w}x$h+$cx+$cy" +repage "$E2E_WORK/client.png"
  face=$(convert "$E2E_WORK/client.png" -format "%[pixel:p{$((w - 1)),100}]" info:)
  convert -size "${w}x$h" "xc:$face" "$E2E_WORK/background.ppm" -geometry "$bg_left+0" -composite \
    "$E2E_WORK/button-normal.ppm" -geometry "+$bx+$by" -composite "$E2E_WORK/expected.png"
  [ "$(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png")" = 0 ] ||
    fail "at $1 the client area differs from the scaled pictures in $(differing "$E2E_WORK/client.png" "$E2E_WORK/expected.png") pixels"

  note "  a screen reader finds the one push button at the scaled picture's place"
  got=$(read_as_screen_reader)
  [ "$got" = "$(expected_reading Install 0)" ] || fail "at $1 a screen reader read: $got"

  note "  the button lights up under the pointer; one pixel beyond its far corner is not it, the corner is"
  point_at_button "$WID"
  wait_button_shows "$WID" "$E2E_WORK/hover.png" || fail "hover picture not shown at $1"
  xdotool windowfocus --sync "$WID"
  click_at $((cx + bx + bw)) $((cy + by + bh))
  ! e2e_wait_window Confirm 2 >/dev/null || fail "a click one pixel beyond the button installed at $1"
  click_at $((cx + bx + bw - 1)) $((cy + by + bh - 1))
  confirm_installed "at $1"
  rm -f "$sys/Aurora.scr"
}
