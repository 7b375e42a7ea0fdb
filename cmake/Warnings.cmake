# kombra_warnings(target): the project's warning set; warnings are kept at zero.
function(kombra_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra
        $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
endfunction()
