!R2_Threshold:0.800
!Method:Simple
!Distance_Limit:500.0Kb
!Sample_Type:case
No	ChromosomeNo	Tagger	Captured	R_square
1	10	1	0,2,3	0.900,0.850,0.880
2	10	4	3,5	0.950,0.950
3	10	6	singleton
4	10	7	singleton
!R2_Threshold:0.800
!Method:Simple
!Distance_Limit:500.0Kb
!Sample_Type:ctrl
No	ChromosomeNo	Tagger	Captured	R_square
1	10	0	1	0.900
2	10	2	3	0.900
