META
key;value
description;Citizens' budget of Riverside, a made-up city
country;Nowhere
unit;Riverside
instance;2025
num_projects;8
num_votes;30
budget;400000
vote_type;approval
rule;greedy
min_length;1
max_length;3
currency;EUR
PROJECTS
project_id;cost;votes;name;category;selected
RS-01;180000;14;Footbridge repair at the old mill;transport;1
RS-02;40000;7;Community garden on Mill Street;environment;1
RS-03;95000;10;Playground at Oak Park;children;0
RS-04;150000;15;Bike lanes on Harbour Road;transport;1
RS-05;30000;5;"""Books on Wheels"" mobile library";culture;0
RS-06;25000;14;Benches, bins and lights for the quay;public space;1
RS-07;120000;4;"Youth music studio; open evenings";culture;0
RS-08;60000;10;Trees along the riverbank;environment;0
VOTES
voter_id;vote
1;RS-01,RS-04,RS-06
2;RS-04,RS-06,RS-07
3;RS-02,RS-05
4;RS-01,RS-04
5;RS-03,RS-05,RS-08
6;RS-01,RS-04,RS-06
7;RS-02,RS-03,RS-08
8;RS-01,RS-04,RS-06
9;RS-04,RS-06,RS-07
10;RS-03,RS-08
11;RS-01,RS-04
12;RS-03,RS-05,RS-08
13;RS-01,RS-04,RS-06
14;RS-02,RS-03,RS-08
15;RS-01,RS-04,RS-06
16;RS-01,RS-06
17;RS-03,RS-08
18;RS-01,RS-04
19;RS-03,RS-05,RS-08
20;RS-01,RS-04,RS-06
21;RS-02,RS-03,RS-08
22;RS-01,RS-04,RS-06
23;RS-01,RS-06
24;RS-07
25;RS-04,RS-06,RS-07
26;RS-02,RS-05
27;RS-01,RS-04,RS-06
28;RS-02,RS-03,RS-08
29;RS-01,RS-04,RS-06
30;RS-02,RS-03,RS-08
