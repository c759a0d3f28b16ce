# The reverse-DNS application id. Every installed desktop file is named after
# it, and the window reports it as its desktop file name so that a running
# window is matched with its launcher and icon.
include_guard(GLOBAL)
set(QUILLMOSS_APP_ID "org.quillmoss.Quillmoss")
