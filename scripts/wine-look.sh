# Sourced by the scripts that show the program to a person: wine_desktop_look
# makes the current prefix ($WINEPREFIX) look like a Windows desktop on a
# bare X server.
wine_desktop_look() {
  # Wine draws the title bar and frame itself, as Windows would, since a
  # virtual display has no window manager to do it.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # The dialog asks for Windows' Chinese faces; stand in the Noto CJK faces
  # of the same kind (sans for the label, serif for the buttons). The message
  # box uses the system's dialog face, which has no Chinese either.
  subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for face in '微软雅黑' 'Microsoft YaHei' 'Tahoma' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
    wine reg add "$subst" /v "$face" /t REG_SZ /d 'Noto Sans CJK SC' /f >/dev/null 2>&1
  done
  for face in '宋体' 'SimSun'; do
    wine reg add "$subst" /v "$face" /t REG_SZ /d 'Noto Serif CJK SC' /f >/dev/null 2>&1
  done
}
