# Turns the output of bench/quality into a markdown table, one row per picture: PSNR, SSIM
# and blurred dE2000 of the best preset, the window preset and pngquant, the measures the
# best preset wins (P, S, D), its wall time as a share of pngquant's and its peak memory
# per pixel.
#   bench/quality ... | tee out.txt; awk -f bench/quality-table.awk out.txt
/^[^ ].*\.png \(/ {
  pic = $1; sub(/\.png$/, "", pic)
  size = $2; gsub(/[(,]/, "", size)
  order[++n] = pic; dim[pic] = size
}
/^  (best|window|pngquant) / {
  p = $1
  psnr[pic, p] = $2; ssim[pic, p] = $3; deb[pic, p] = $4; secs[pic, p] = $7; kb[pic, p] = $8
}
END {
  print "| picture | size | PSNR best / window / pngquant | SSIM best / window / pngquant |" \
        " blurred dE best / window / pngquant | best wins | time best / pngquant |" \
        " peak best B/px |"
  print "|---|---|---|---|---|---|---|---|"
  for (i = 1; i <= n; i++) {
    k = order[i]
    split(dim[k], wh, "x")
    px = wh[1] * wh[2]
    w = (psnr[k, "best"] > psnr[k, "pngquant"] ? "P" : "-") \
        (ssim[k, "best"] > ssim[k, "pngquant"] ? "S" : "-") \
        (deb[k, "best"] < deb[k, "pngquant"] ? "D" : "-")
    printf "| %s | %s | %.2f / %.2f / %.2f | %.4f / %.4f / %.4f | %.3f / %.3f / %.3f | %s |" \
           " %.2f | %.1f |\n", k, dim[k], psnr[k, "best"], psnr[k, "window"],
           psnr[k, "pngquant"], ssim[k, "best"], ssim[k, "window"], ssim[k, "pngquant"],
           deb[k, "best"], deb[k, "window"], deb[k, "pngquant"], w,
           (secs[k, "pngquant"] > 0 ? secs[k, "best"] / secs[k, "pngquant"] : 0),
           kb[k, "best"] * 1024 / px
  }
}
