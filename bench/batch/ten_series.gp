# 10 series of 60,000 points each: y = sin(x / 50 + k) * x.
set terminal jpeg size 1280,800
set output ARG1
set samples 60000
set key off
plot [0:59999] for [k=0:9] sin(x / 50 + k) * x with lines
