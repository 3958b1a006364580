!R2_Threshold:0.800
!Method:Simple
!Distance_Limit:100.0Kb
!Sample_Type:M
No	ChromosomeNo	Tagger	Captured	R_square
1	3	2	60	0.990
2	3	106	singleton
3	3	0	singleton
4	3	53	singleton
5	3	1	singleton
