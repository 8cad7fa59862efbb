# The project's own code compiles without a single warning; third-party code
# (googletest) keeps its own flags.
function(korvane_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
