# Every target of ours gets the same warning set; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic)
if(TOLVANE_WERROR)
    add_compile_options(-Werror)
endif()

if(TOLVANE_SANITIZE)
    list(JOIN TOLVANE_SANITIZE "," _tolvane_sanitizers)
    add_compile_options(-fsanitize=${_tolvane_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_tolvane_sanitizers})
    if("undefined" IN_LIST TOLVANE_SANITIZE)
        # The runtime's check of an object's dynamic type probes the vtable's memory through a
        # pipe; at the open-file limit, where the engine works on purpose (it fills a batch
        # until the descriptors run out, and the tests drive deep walks there), no pipe can be
        # made and every virtual call would be reported as a call on an invalid object.
        add_compile_options(-fno-sanitize=vptr)
    endif()
endif()
