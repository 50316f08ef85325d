# The one version of the project and the identity it is installed under.
#
# project(... VERSION) is the only place the version is written: every
# program's --version, the man pages, the AppStream release and the package
# take it from here.

# Reverse-DNS id of the desktop entry, the AppStream component and the icon.
# It is built on kestrava-desktop.org, a name of this project's own (the
# Kestrava service's domains are not ours to use), with the hyphen as an
# underscore as the desktop entry rules ask.
set(KESTRAVA_APPLICATION_ID "org.kestrava_desktop.kestrava")

# The day this version was released (the AppStream release, the package's
# changelog and the date on the man pages), so builds of one version agree.
set(KESTRAVA_RELEASE_DATE "2026-12-10")

add_library(kestrava_version INTERFACE)
target_compile_definitions(kestrava_version INTERFACE
  KESTRAVA_VERSION="${PROJECT_VERSION}"
  KESTRAVA_APPLICATION_ID="${KESTRAVA_APPLICATION_ID}")

# The icon's sizes in pixels besides the scalable SVG, and where data/ renders
# them (the window bundles the same pictures as its fallback icon).
set(KESTRAVA_ICON_SIZES 48 64 128 256)
set(KESTRAVA_ICON_DIR ${PROJECT_BINARY_DIR}/data/icons)
