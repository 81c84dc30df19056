# QUORVANE_SANITIZE applies to everything built in this tree, so libraries and tests
# share one runtime.
if(QUORVANE_SANITIZE)
  string(REPLACE ";" "," _san "${QUORVANE_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=${_san})
endif()
