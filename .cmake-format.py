# cmake-format's settings for the project's CMake files (tools/lint.sh cmake-format).
with section("format"):
    line_width = 100
    tab_size = 2
    dangle_parens = False
    # Arguments stay on the lines their author gave them where they fit.
    max_pargs_hwrap = 8
    max_subgroups_hwrap = 4

with section("markup"):
    # Comments are prose, written and wrapped by hand.
    enable_markup = False
