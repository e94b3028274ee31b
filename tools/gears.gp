# gears.gp: speed, engine speed and gear against time from a caravelt-sim
# trace.  gnuplot -e "trace='FILE.csv'; out='FILE.png'" tools/gears.gp
# Columns: 1 tick (0.01 s), 6 Velocity, 7 TrueVelocity (m/s), 9 EngineRev
# (rev/min), 15 Gear.
set terminal pngcairo size 900,720 font "sans,10"
set output out
set datafile separator ","
set key autotitle columnhead
set multiplot layout 3,1 title "Full throttle through the gears"
set grid
set lmargin 10
set xrange [0:*]
unset xlabel
set format x ""

set ylabel "speed (km/h)"
set key bottom right
plot trace using ($1/100):($6*3.6) with lines lw 2 title "wheels (Velocity)", \
     trace using ($1/100):($7*3.6) with lines lw 1 dt 2 title "travel (TrueVelocity)"

set ylabel "engine (rev/min)"
unset key
plot trace using ($1/100):9 with lines lw 2 lc rgb "#c03020"

set ylabel "gear"
set format x "%g"
set xlabel "time (s)"
set yrange [-0.5:5.5]
set ytics 1
plot trace using ($1/100):15 with steps lw 2 lc rgb "#208040"
unset multiplot
