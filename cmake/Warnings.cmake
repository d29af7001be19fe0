# Warnings for every target of the project.
add_compile_options(-Wall -Wextra)

# The engine's arithmetic must be the one written in the source: no fused multiply-add,
# no reassociation. Targets call this on themselves.
function(genshoku_exact_arithmetic target)
  target_compile_options(${target} PRIVATE -ffp-contract=off -fno-fast-math)
endfunction()
