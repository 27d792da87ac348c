# Every target of ours gets the same warning set; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic)
if(TOLVANE_WERROR)
    add_compile_options(-Werror)
endif()

if(TOLVANE_SANITIZE)
    list(JOIN TOLVANE_SANITIZE "," _tolvane_sanitizers)
    add_compile_options(-fsanitize=${_tolvane_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_tolvane_sanitizers})
endif()
