# Warnings for the project's own targets: quorvane_warnings(target).
function(quorvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
