# With KOMBRA_SANITIZE every target is built with ASan and UBSan; UBSan
# findings abort so that a test fails on them.
if(KOMBRA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
# Numeric code relies on exact IEEE arithmetic; never let fast-math in.
add_compile_options(-fno-fast-math)
