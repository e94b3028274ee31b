# lapmap.gp: the best lap of a caravelt-sim sweep with --course over peak
# torque and grip as a heat map.  gnuplot -e "csv='FILE.csv'; out='FILE.png'; dx=DX; dy=DY" tools/lapmap.gp
# The CSV's columns by name: PeakTorque (N m) across, G up, lap_s (s) as
# colour; an empty lap_s (no clean drive found) leaves its cell grey.
set terminal pngcairo size 900,620 font "sans,10"
set output out
set datafile separator ","
set title "The autocross: the driver's best clean lap (s) over peak torque and grip\n(3,000 drives a setup; grey: no clean drive found)"
set xlabel "PeakTorque (N m)"
set ylabel "G (tyre grip)"
set cblabel "best lap (s)"
set palette defined (0 "#0d0887", 1 "#6a00a8", 2 "#b12a90", 3 "#e16462", 4 "#fca636", 5 "#f0f921")
set object 1 rectangle from graph 0, graph 0 to graph 1, graph 1 behind fillcolor rgb "#b0b0b0" fillstyle solid noborder
set tics out
set key off
set autoscale xfix
set autoscale yfix
# a hair wider than half a step, so that no seam of the grey shows between cells
plot csv using "PeakTorque":"G":(dx*0.51):(dy*0.51):"lap_s" with boxxy fillstyle solid noborder fillcolor palette
