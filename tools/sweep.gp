# sweep.gp: the braking distance of a caravelt-sim sweep over brake force
# and grip as a heat map.  gnuplot -e "csv='FILE.csv'; out='FILE.png'; dx=DX; dy=DY" tools/sweep.gp
# The CSV's columns by name: BrakeForce (N) across, G up, brake_m (m)
# as colour; an empty brake_m (the car never stops) leaves its cell grey.
# Cells are the grid's steps: dx N wide, dy high (given with -e too).
set terminal pngcairo size 900,620 font "sans,10"
set output out
set datafile separator ","
set title "Braking from 100 km/h to rest: distance (m) over brake force and grip\n(grey: the car never comes to rest within ten minutes)"
set xlabel "BrakeForce (N at full pedal)"
set ylabel "G (tyre grip)"
set cblabel "100-0 km/h (m)"
set logscale cb
set cbrange [100:*]
set cbtics ("100" 100, "150" 150, "200" 200, "300" 300, "500" 500, "1000" 1000, "2000" 2000)
set palette defined (0 "#0d0887", 1 "#6a00a8", 2 "#b12a90", 3 "#e16462", 4 "#fca636", 5 "#f0f921")
set object 1 rectangle from graph 0, graph 0 to graph 1, graph 1 behind fillcolor rgb "#b0b0b0" fillstyle solid noborder
set tics out
set key off
set autoscale xfix
set autoscale yfix
plot csv using "BrakeForce":"G":(dx/2):(dy/2):"brake_m" with boxxy fillstyle solid noborder fillcolor palette
