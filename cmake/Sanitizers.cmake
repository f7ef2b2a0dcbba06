# Address and undefined-behaviour sanitizers for the whole build; any finding aborts the test.
if(KX_SANITIZE)
    set(KX_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${KX_SANITIZER_FLAGS})
    add_link_options(${KX_SANITIZER_FLAGS})
endif()
