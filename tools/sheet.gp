# sheet.gp: the handling sheet's runs, one colour per car: the acceleration
# run thin and dashed, the braking run (the same start, then the brake
# from 100 km/h) thick.  gnuplot -e "dir='DIR'; out='FILE.png'" tools/sheet.gp
# DIR holds CAR-accel.csv and CAR-brake.csv: time (s), ground speed (km/h).
set terminal pngcairo size 900,480 font "sans,10"
set output out
set datafile separator ","
set grid
set key top left
set xrange [0:80]
set yrange [0:*]
set xlabel "time (s)"
set ylabel "ground speed (km/h)"
set title "Full throttle from rest, shifting at 6000 rev/min (dashed); braking from 100 km/h (solid)"
plot dir."/kvt-accel.csv" with lines lw 1 dt 2 lc rgb "#3060c0" notitle, \
     dir."/kvt-brake.csv" with lines lw 2 lc rgb "#3060c0" title "kvt (the preset)", \
     dir."/light-accel.csv" with lines lw 1 dt 2 lc rgb "#20a040" notitle, \
     dir."/light-brake.csv" with lines lw 2 lc rgb "#20a040" title "light", \
     dir."/drift-accel.csv" with lines lw 1 dt 2 lc rgb "#d04020" notitle, \
     dir."/drift-brake.csv" with lines lw 2 lc rgb "#d04020" title "drift"
